// The argument reader every native handler uses: the block's arguments numbered from 0, each read
// by the rule its class states ("must be a String", "an Integer or Number", "must be an Object").
// A reader gives nothing when the argument is missing or has another tag; it never converts. What
// a handler does with a missing argument is its own rule, written in its one line:
//
//   const StringRecord* path = call.args.string(0);
//   if (path == nullptr) return;                      // "a path string, required"
#pragma once

#include <cstdint>
#include <optional>

#include "engine/values/host_class.h"
#include "engine/values/value.h"

namespace quill {

class Arguments {
public:
    explicit Arguments(Value* block) : m_block(block), m_count(argument_count(block)) {}

    uint32_t count() const { return m_count; }
    bool has(uint32_t i) const { return i < m_count; }
    // The argument, or Undefined when the call has fewer.
    const Value& operator[](uint32_t i) const { return i < m_count ? m_block[i + 1] : undefined_value(); }
    // Whether the argument is there and has the tag.
    bool is(uint32_t i, Tag tag) const { return i < m_count && m_block[i + 1].tag == tag; }

    // "must be a String": the string record, else null.
    const StringRecord* string(uint32_t i) const {
        return is(i, Tag::String) ? m_block[i + 1].payload.string : nullptr;
    }
    // "must be an Integer": a Number or a string never counts.
    std::optional<int64_t> integer(uint32_t i) const {
        if (!is(i, Tag::Integer)) {
            return std::nullopt;
        }
        return m_block[i + 1].payload.integer;
    }
    // "an Integer or Number", as a double.
    std::optional<double> number(uint32_t i) const {
        if (is(i, Tag::Integer)) {
            return static_cast<double>(m_block[i + 1].payload.integer);
        }
        if (is(i, Tag::Number)) {
            return m_block[i + 1].payload.number;
        }
        return std::nullopt;
    }
    // "must be an Object" (a plain object): its table, else null.
    PropertyTable* object(uint32_t i) const { return is(i, Tag::Object) ? m_block[i + 1].payload.table : nullptr; }
    // "must be an Array": its record, else null.
    ArrayRecord* array(uint32_t i) const { return is(i, Tag::Array) ? m_block[i + 1].payload.array : nullptr; }

    // The argument's own cell, for a handler that converts an argument in place: the cell keeps the
    // converted value alive while later conversions run script code. Requires: has(i).
    Value& cell(uint32_t i) const { return m_block[i + 1]; }

    // The block itself (count cell first), for handing the arguments on.
    Value* block() const { return m_block; }

private:
    static const Value& undefined_value() {
        static const Value undefined;
        return undefined;
    }

    Value* m_block;
    uint32_t m_count;
};

}  // namespace quill
