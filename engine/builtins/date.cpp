// The Date class. An instance's data is one double, its time value in milliseconds since 1970 UTC.
// Local time is the time value minus LocalTZA, the standard time-zone offset the engine read when
// the class was registered; it never changes afterwards and no daylight saving is ever applied.
//
// No member raises an error. Every time value a Date holds lies within +-8.64e15 ms: setters that
// would leave the range change nothing, constructors and Date.UTC give 0 instead, and a parse that
// fails gives the current time.
#include "engine/builtins/date.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/builtins/date_clock.h"
#include "engine/builtins/date_parse.h"
#include "engine/builtins/date_time.h"
#include "engine/builtins/value_class.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/host_class.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

// The fields of a date in the order MakeDate takes them and the setters and Date.UTC name them.
enum Field { Year, Month, Day, Hours, Minutes, Seconds, Milliseconds, field_count };

// The defaults of Date.UTC and of new Date with several arguments: 1970-01-01 00:00:00.000.
constexpr double field_defaults[field_count] = {1970, 0, 1, 0, 0, 0, 0};

struct Getter {
    const char* name;
    bool utc;
    int DateFields::*field;
};

const Getter getters[] = {
    {"getFullYear", false, &DateFields::year},       {"getUTCFullYear", true, &DateFields::year},
    {"getMonth", false, &DateFields::month},         {"getUTCMonth", true, &DateFields::month},
    {"getDate", false, &DateFields::date},           {"getUTCDate", true, &DateFields::date},
    {"getDay", false, &DateFields::weekday},         {"getUTCDay", true, &DateFields::weekday},
    {"getHours", false, &DateFields::hours},         {"getUTCHours", true, &DateFields::hours},
    {"getMinutes", false, &DateFields::minutes},     {"getUTCMinutes", true, &DateFields::minutes},
    {"getSeconds", false, &DateFields::seconds},     {"getUTCSeconds", true, &DateFields::seconds},
    {"getMilliseconds", false, &DateFields::ms},     {"getUTCMilliseconds", true, &DateFields::ms},
};
constexpr size_t getter_count = sizeof getters / sizeof getters[0];

// A setter supplies `count` consecutive fields from `first`, one per argument.
struct Setter {
    const char* name;
    bool utc;
    Field first;
    int count;
};

const Setter setters[] = {
    {"setMilliseconds", false, Milliseconds, 1}, {"setUTCMilliseconds", true, Milliseconds, 1},
    {"setSeconds", false, Seconds, 2},           {"setUTCSeconds", true, Seconds, 2},
    {"setMinutes", false, Minutes, 3},           {"setUTCMinutes", true, Minutes, 3},
    {"setHours", false, Hours, 4},               {"setUTCHours", true, Hours, 4},
    {"setDate", false, Day, 1},                  {"setUTCDate", true, Day, 1},
    {"setMonth", false, Month, 2},               {"setUTCMonth", true, Month, 2},
    {"setFullYear", false, Year, 3},             {"setUTCFullYear", true, Year, 3},
};
constexpr size_t setter_count = sizeof setters / sizeof setters[0];

// The class's user data: the atoms of its member names, and the engine's time zone.
struct DateClass {
    Atom getter[getter_count];
    Atom setter[setter_count];
    Atom get_time;
    Atom get_year;
    Atom get_timezone_offset;
    Atom set_time;
    Atom set_year;
    Atom to_locale_string;
    Atom to_gmt_string;
    Atom parse;
    Atom utc;
    int bias;  // standard time-zone bias in minutes, positive west of Greenwich

    // LocalTZA: what to add to a local time to get the time value.
    double local_tza() const { return bias * 60000.0; }
};

// A time value within the limit as the Integer scripts see: truncated.
Value time_integer(double t) { return Value::integer(static_cast<int64_t>(t)); }

// A time value, or 0 when it lies outside the limit.
double within_limit_or_zero(double t) { return time_value_in_range(t) ? t : 0; }

// A date field from a value: an Integer as it is, a Number floored; false for any other type.
bool field_value(const Value& value, double* out) {
    if (value.tag == Tag::Integer) {
        *out = static_cast<double>(value.payload.integer);
        return true;
    }
    if (value.tag == Tag::Number) {
        *out = std::floor(value.payload.number);
        return true;
    }
    return false;
}

bool field_argument(const Value* args, uint32_t n, double* out) {
    return argument_count(args) >= n && field_value(args[n], out);
}

double time_from_fields(const double (&fields)[field_count]) {
    return make_date(make_day(fields[Year], fields[Month], fields[Day]),
                     make_time(fields[Hours], fields[Minutes], fields[Seconds], fields[Milliseconds]));
}

// Date.UTC: the first seven arguments that are numbers replace the defaults; 0 when out of range.
double utc_time(const Value* args) {
    double fields[field_count];
    for (int i = 0; i < field_count; ++i) {
        fields[i] = field_defaults[i];
        field_argument(args, static_cast<uint32_t>(i + 1), &fields[i]);
    }
    return within_limit_or_zero(time_from_fields(fields));
}

// The parse of a String, or the current time when it is not a date; 0 when out of range.
double parsed_time(ScriptEngine* engine, const DateClass* date, const StringRecord* text) {
    PlainPtr<char> narrow = string_to_narrow(engine, text);
    double t = 0;
    if (!parse_date_text(narrow.get(), date->local_tza(), &t)) {
        return current_time_value();
    }
    return within_limit_or_zero(t);
}

Value local_text(ScriptEngine* engine, const DateClass* date, double t) {
    std::string text = local_time_text(t - date->local_tza(), date->bias);
    return ascii_string(engine, text.data(), text.size());
}

Value utc_text(ScriptEngine* engine, double t) {
    std::string text = utc_time_text(t);
    return ascii_string(engine, text.data(), text.size());
}

DateFields fields_of(const DateClass* date, double t, bool utc) {
    return split_time(utc ? t : t - date->local_tza());
}

// Sets `count` fields from `first` to the arguments that are numbers, keeping the others from the
// current time; the first argument must be a number. The new time replaces the old one only when it
// lies within the limit. A year in 0..99 gets 1900 added when `two_digit_year` is set (setYear).
Value set_fields(const DateClass* date, double* time, const Value* args, bool utc, Field first, int count,
                 bool two_digit_year = false) {
    double first_value = 0;
    if (!field_argument(args, 1, &first_value)) {
        return time_integer(*time);
    }
    DateFields current = fields_of(date, *time, utc);
    double fields[field_count] = {static_cast<double>(current.year),  static_cast<double>(current.month),
                                  static_cast<double>(current.date),  static_cast<double>(current.hours),
                                  static_cast<double>(current.minutes), static_cast<double>(current.seconds),
                                  static_cast<double>(current.ms)};
    for (int i = 0; i < count; ++i) {
        field_argument(args, static_cast<uint32_t>(i + 1), &fields[first + i]);
    }
    if (two_digit_year && fields[Year] >= 0 && fields[Year] <= 99) {
        fields[Year] += 1900;
    }
    double t = time_from_fields(fields) + (utc ? 0 : date->local_tza());
    if (time_value_in_range(t)) {
        *time = t;
    }
    return time_integer(*time);
}

// Members that work without an instance: Date.parse and Date.UTC.
bool class_member(ScriptEngine* engine, const DateClass* date, Atom method, Value* result, Value* args) {
    if (method == date->parse) {
        if (argument_count(args) < 1) {
            *result = Value::integer(0);
            return true;
        }
        args[1] = to_string(engine, args[1]);  // the argument cell keeps the text alive
        *result = time_integer(parsed_time(engine, date, args[1].payload.string));
        return true;
    }
    if (method == date->utc) {
        *result = time_integer(utc_time(args));
        return true;
    }
    return false;
}

bool instance_member(ScriptEngine* engine, const DateClass* date, double* time, Atom method, Value* result,
                     Value* args) {
    for (size_t i = 0; i < getter_count; ++i) {
        if (method == date->getter[i]) {
            DateFields f = fields_of(date, *time, getters[i].utc);
            *result = Value::integer(f.*getters[i].field);
            return true;
        }
    }
    for (size_t i = 0; i < setter_count; ++i) {
        if (method == date->setter[i]) {
            const Setter& s = setters[i];
            *result = set_fields(date, time, args, s.utc, s.first, s.count);
            return true;
        }
    }
    if (method == date->get_time || method == atom_value_of) {
        *result = time_integer(*time);
    } else if (method == date->get_year) {
        int year = fields_of(date, *time, false).year;
        *result = Value::integer(year >= 1900 && year <= 1999 ? year - 1900 : year);
    } else if (method == date->get_timezone_offset) {
        *result = Value::integer(date->bias);
    } else if (method == date->set_time) {
        double t = 0;
        if (argument_count(args) >= 1 && (args[1].tag == Tag::Integer || args[1].tag == Tag::Number)) {
            t = args[1].tag == Tag::Integer ? static_cast<double>(args[1].payload.integer) : args[1].payload.number;
            if (time_value_in_range(t)) {
                *time = t;
            }
        }
        *result = time_integer(*time);
    } else if (method == date->set_year) {
        *result = set_fields(date, time, args, false, Year, 1, true);
    } else if (method == atom_to_string || method == date->to_locale_string) {
        *result = local_text(engine, date, *time);
    } else if (method == date->to_gmt_string) {
        *result = utc_text(engine, *time);
    } else {
        return false;
    }
    return true;
}

bool date_method(ScriptEngine* engine, HostClass* cls, void* instance, const Value&, Atom method, Value* result,
                 Value* args) {
    const auto* date = static_cast<DateClass*>(cls->user_data);
    if (class_member(engine, date, method, result, args)) {
        return true;
    }
    if (instance == nullptr) {
        if (method == atom_to_string) {
            *result = make_static_string(engine, u"[object Date]");
            return true;
        }
        return false;
    }
    return instance_member(engine, date, static_cast<double*>(instance), method, result, args);
}

// The time value of new Date(v): a number as it is, a String parsed, the current time otherwise.
double single_argument_time(ScriptEngine* engine, const DateClass* date, const Value& v) {
    switch (v.tag) {
    case Tag::Integer:
        return within_limit_or_zero(static_cast<double>(v.payload.integer));
    case Tag::Number:
        return within_limit_or_zero(v.payload.number);
    case Tag::String:
        return parsed_time(engine, date, v.payload.string);
    default:
        return current_time_value();
    }
}

void date_construct(ScriptEngine* engine, HostClass* cls, Value* args, Value* result) {
    const auto* date = static_cast<DateClass*>(cls->user_data);
    uint32_t count = argument_count(args);
    double t = 0;
    if (count == 0) {
        t = current_time_value();
    } else if (count == 1) {
        t = single_argument_time(engine, date, args[1]);
    } else {
        // The fields as local time: as Date.UTC gives them, plus LocalTZA.
        t = within_limit_or_zero(utc_time(args) + date->local_tza());
    }
    PlainPtr<double> data(static_cast<double*>(plain_allocate(engine, sizeof(double))));
    *data = t;
    *result = make_host_object(engine, cls, data.get());
    data.release();  // the host object owns it now
}

// Date(...) called as a function gives the text of the current time, not a Date.
void date_call(ScriptEngine* engine, HostClass* cls, void*, Value* result, Value*) {
    *result = local_text(engine, static_cast<DateClass*>(cls->user_data), current_time_value());
}

void destroy_date(HostClass*, void* instance) { plain_free(nullptr, instance); }


// A bias beyond a day is no real time zone; keeping within it keeps the offset text in range.
int sane_bias(int bias) {
    constexpr int day_minutes = 24 * 60;
    return bias < -day_minutes ? -day_minutes : (bias > day_minutes ? day_minutes : bias);
}

}  // namespace

void register_date_class(ScriptEngine* engine) {
    DateClass names{};
    for (size_t i = 0; i < getter_count; ++i) {
        names.getter[i] = intern(engine, getters[i].name);
    }
    for (size_t i = 0; i < setter_count; ++i) {
        names.setter[i] = intern(engine, setters[i].name);
    }
    names.get_time = intern(engine, "getTime");
    names.get_year = intern(engine, "getYear");
    names.get_timezone_offset = intern(engine, "getTimezoneOffset");
    names.set_time = intern(engine, "setTime");
    names.set_year = intern(engine, "setYear");
    names.to_locale_string = intern(engine, "toLocaleString");
    names.to_gmt_string = intern(engine, "toGMTString");
    names.parse = intern(engine, "parse");
    names.utc = intern(engine, "UTC");
    names.bias = sane_bias(standard_time_zone_bias());

    HostClass* cls = new_host_class(engine);
    set_class_data(engine, cls, names);
    cls->call = date_call;
    cls->method = date_method;
    cls->property = no_class_property;
    cls->construct = date_construct;
    cls->destroy = destroy_date;
    set_global(engine, "Date", make_host_object(engine, cls, nullptr));
}

bool date_time_value(const Value& value, double* time) {
    if (value.tag != Tag::HostObject || value.payload.host->cls == nullptr ||
        value.payload.host->cls->method != date_method || value.payload.host->instance == nullptr) {
        return false;
    }
    *time = *static_cast<const double*>(value.payload.host->instance);
    return true;
}

}  // namespace quill
