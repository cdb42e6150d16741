// The Math object: the mathematical constants and functions, and the random generator behind
// Math.random.
#pragma once

#include <cstdint>

namespace quill {

struct ScriptEngine;

// Stores the Math object (a host object without instances or constructor) in its global slot and
// seeds the random generator from the clock. Runs once, at engine creation.
void register_math_object(ScriptEngine* engine);

// The random generator: a 48-bit linear congruential generator, X <- (0x5DEECE66D * X + 0xB) mod 2^48,
// each result X / 2^48. Its state is shared by every engine in the process.
//
// The state a seed gives: the low 32 bits of the seed above the fixed low half-word 0x330E.
uint64_t random_state_for_seed(uint64_t seed);
// Advances a state and gives the new state as a double in [0, 1).
double random_step(uint64_t* state);
// Seeds the process-wide generator (registration does this with the current time in seconds).
void seed_random(uint64_t seed);
// The next value of the process-wide generator, as Math.random gives it.
double next_random();

} // namespace quill
