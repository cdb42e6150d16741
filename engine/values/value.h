// The 16-byte value cell every part of the engine exchanges, and its type tags.
#pragma once

#include <cstdint>

namespace quill {

struct StringRecord;
struct ArrayRecord;
struct PropertyTable;
struct HostRecord;
struct FunctionObject;

// The number of an interned identifier; also the index of its global slot. -1 marks a deleted property slot.
using Atom = int32_t;

// Type tags. The numbers are part of the module format (the type byte of constants) and index the
// per-type handler table, so they must never change.
enum class Tag : int32_t {
    Undefined = 0,
    Null = 1,
    Boolean = 2,
    Integer = 3,     // signed 64-bit; arithmetic wraps modulo 2^64
    String = 4,      // StringRecord*
    Number = 5,      // IEEE 754 double
    Array = 6,       // ArrayRecord*
    Object = 7,      // PropertyTable*: a plain object is its property table
    Reserved8 = 8,   // never produced
    Reserved9 = 9,   // never produced
    Name = 10,       // atom number; constant pool and property keys only
    HostObject = 11, // HostRecord*
    Function = 12,   // FunctionObject*
    NaN = 13,        // not-a-number is a tag of its own
    FrameMark = 14,  // interpreter frame cell, never visible to scripts
    FrameSlot = 15,  // interpreter frame cell, never visible to scripts
};

// A value cell, copied whole everywhere (no reference counting):
//
//   byte  0        4        8                16
//         +--------+--------+-----------------+
//         |  tag   | unused |     payload     |
//         +--------+--------+-----------------+
//
// The payload is a double, a signed 64-bit integer, a 0/1 flag, an atom number, a full 64-bit
// record pointer, or two 32-bit words (frame cells).
struct Value {
    Tag tag = Tag::Undefined;
    uint32_t unused = 0;
    union Payload {
        double number;
        int64_t integer;
        uint32_t flag;
        Atom atom;
        StringRecord* string;
        ArrayRecord* array;
        PropertyTable* table;
        HostRecord* host;
        FunctionObject* function;
        void* pointer;
        struct {
            uint32_t low;
            uint32_t high;
        } words;
    } payload{.integer = 0};

    static Value undefined() { return Value{}; }
    static Value null() { return with_tag(Tag::Null); }
    static Value nan() { return with_tag(Tag::NaN); }
    static Value boolean(bool b) {
        Value v = with_tag(Tag::Boolean);
        v.payload.flag = b ? 1 : 0;
        return v;
    }
    static Value integer(int64_t i) {
        Value v = with_tag(Tag::Integer);
        v.payload.integer = i;
        return v;
    }
    static Value number(double d) {
        Value v = with_tag(Tag::Number);
        v.payload.number = d;
        return v;
    }
    static Value string(StringRecord* s) {
        Value v = with_tag(Tag::String);
        v.payload.string = s;
        return v;
    }
    static Value array(ArrayRecord* a) {
        Value v = with_tag(Tag::Array);
        v.payload.array = a;
        return v;
    }
    static Value object(PropertyTable* t) {
        Value v = with_tag(Tag::Object);
        v.payload.table = t;
        return v;
    }
    static Value name(Atom a) {
        Value v = with_tag(Tag::Name);
        v.payload.atom = a;
        return v;
    }
    static Value host(HostRecord* h) {
        Value v = with_tag(Tag::HostObject);
        v.payload.host = h;
        return v;
    }
    static Value function(FunctionObject* f) {
        Value v = with_tag(Tag::Function);
        v.payload.function = f;
        return v;
    }
    static Value with_tag(Tag t) {
        Value v;
        v.tag = t;
        return v;
    }

    bool is(Tag t) const { return tag == t; }
    // Tags 0-5 and 13.
    bool is_primitive() const {
        return (tag >= Tag::Undefined && tag <= Tag::Number) || tag == Tag::NaN;
    }
};

static_assert(sizeof(Value) == 16, "a value cell is exactly 16 bytes");
static_assert(sizeof(void*) <= 8, "the payload holds a full record pointer");

// The text typeof gives for a tag ("" for the reserved and internal tags).
const char* type_name(Tag tag);

}  // namespace quill
