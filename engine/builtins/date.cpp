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
#include <limits>
#include <optional>
#include <string>

#include "engine/builtins/date_clock.h"
#include "engine/builtins/date_parse.h"
#include "engine/builtins/date_time.h"
#include "engine/builtins/value_class.h"
#include "engine/values/class_declaration.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

// The fields of a date in the order MakeDate takes them and the setters and Date.UTC name them.
enum Field { Year, Month, Day, Hours, Minutes, Seconds, Milliseconds, field_count };

// The defaults of Date.UTC and of new Date with several arguments: 1970-01-01 00:00:00.000.
constexpr double field_defaults[field_count] = {1970, 0, 1, 0, 0, 0, 0};

// The class-wide state: the engine's time zone, read once at registration.
struct DateZone {
    int bias;  // standard time-zone bias in minutes, positive west of Greenwich
    // The last time split into fields and its fields: scripts read one date field after another
    // from the same time. NaN (equal to nothing) until the first split.
    mutable double split_at = std::numeric_limits<double>::quiet_NaN();
    mutable DateFields split{};

    // LocalTZA: what to add to a local time to get the time value.
    double local_tza() const { return bias * 60000.0; }
};

// A bias beyond a day is no real time zone; keeping within it keeps the offset text in range.
int sane_bias(int bias) {
    constexpr int day_minutes = 24 * 60;
    return bias < -day_minutes ? -day_minutes : (bias > day_minutes ? day_minutes : bias);
}

void* make_zone(ScriptEngine*) { return new DateZone{sane_bias(standard_time_zone_bias())}; }

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

bool field_argument(const Arguments& args, uint32_t i, double* out) {
    return args.has(i) && field_value(args[i], out);
}

double time_from_fields(const double (&fields)[field_count]) {
    return make_date(make_day(fields[Year], fields[Month], fields[Day]),
                     make_time(fields[Hours], fields[Minutes], fields[Seconds], fields[Milliseconds]));
}

// Date.UTC: the first seven arguments that are numbers replace the defaults; 0 when out of range.
double utc_time(const Arguments& args) {
    double fields[field_count];
    for (int i = 0; i < field_count; ++i) {
        fields[i] = field_defaults[i];
        field_argument(args, static_cast<uint32_t>(i), &fields[i]);
    }
    return within_limit_or_zero(time_from_fields(fields));
}

// The parse of a String, or the current time when it is not a date; 0 when out of range.
double parsed_time(ScriptEngine* engine, const DateZone& date, const StringRecord* text) {
    PlainPtr<char> narrow = string_to_narrow(engine, text);
    double t = 0;
    if (!parse_date_text(narrow.get(), date.local_tza(), &t)) {
        return current_time_value();
    }
    return within_limit_or_zero(t);
}

Value local_text(ScriptEngine* engine, const DateZone& date, double t) {
    std::string text = local_time_text(t - date.local_tza(), date.bias);
    return ascii_string(engine, text.data(), text.size());
}

Value utc_text(ScriptEngine* engine, double t) {
    std::string text = utc_time_text(t);
    return ascii_string(engine, text.data(), text.size());
}

DateFields fields_of(const DateZone& date, double t, bool utc) {
    const double at = utc ? t : t - date.local_tza();
    if (at != date.split_at) {
        date.split = split_time(at);
        date.split_at = at;
    }
    return date.split;
}

// Sets `count` fields from `first` to the arguments that are numbers, keeping the others from the
// current time; the first argument must be a number. The new time replaces the old one only when it
// lies within the limit. A year in 0..99 gets 1900 added when `two_digit_year` is set (setYear).
Value set_fields(const DateZone& date, double* time, const Arguments& args, bool utc, Field first, int count,
                 bool two_digit_year = false) {
    double first_value = 0;
    if (!field_argument(args, 0, &first_value)) {
        return time_integer(*time);
    }
    DateFields current = fields_of(date, *time, utc);
    double fields[field_count] = {static_cast<double>(current.year),  static_cast<double>(current.month),
                                  static_cast<double>(current.date),  static_cast<double>(current.hours),
                                  static_cast<double>(current.minutes), static_cast<double>(current.seconds),
                                  static_cast<double>(current.ms)};
    for (int i = 0; i < count; ++i) {
        field_argument(args, static_cast<uint32_t>(i), &fields[first + i]);
    }
    if (two_digit_year && fields[Year] >= 0 && fields[Year] <= 99) {
        fields[Year] += 1900;
    }
    double t = time_from_fields(fields) + (utc ? 0 : date.local_tza());
    if (time_value_in_range(t)) {
        *time = t;
    }
    return time_integer(*time);
}

// {==== The members

const DateZone& zone_of(const MemberCall& call) { return call.state<DateZone>(); }
double& time_of(const MemberCall& call) { return call.data<double>(); }

// Date.parse(text), also on instances.
void date_parse(MemberCall& call) {
    if (!call.args.has(0)) {
        *call.result = Value::integer(0);
        return;
    }
    Value& text = call.args.cell(0);
    text = to_string(call.engine, text);  // the argument cell keeps the text alive
    *call.result = time_integer(parsed_time(call.engine, zone_of(call), text.payload.string));
}

// Date.UTC(fields...), also on instances.
void date_utc(MemberCall& call) { *call.result = time_integer(utc_time(call.args)); }

void get_time(MemberCall& call) { *call.result = time_integer(time_of(call)); }

// A getter of one field, in local time or in UTC.
struct Getter {
    bool utc;
    int DateFields::*field;
};

void get_field(MemberCall& call) {
    const auto& getter = call.context<Getter>();
    DateFields f = fields_of(zone_of(call), time_of(call), getter.utc);
    *call.result = Value::integer(f.*getter.field);
}

void get_year(MemberCall& call) {
    int year = fields_of(zone_of(call), time_of(call), false).year;
    *call.result = Value::integer(year >= 1900 && year <= 1999 ? year - 1900 : year);
}

void get_timezone_offset(MemberCall& call) { *call.result = Value::integer(zone_of(call).bias); }

void set_time(MemberCall& call) {
    double& time = time_of(call);
    if (std::optional<double> t = call.args.number(0); t && time_value_in_range(*t)) {
        time = *t;
    }
    *call.result = time_integer(time);
}

// A setter supplies `count` consecutive fields from `first`, one per argument.
struct Setter {
    bool utc;
    Field first;
    int count;
};

void set_field(MemberCall& call) {
    const auto& setter = call.context<Setter>();
    *call.result = set_fields(zone_of(call), &time_of(call), call.args, setter.utc, setter.first, setter.count);
}

void set_year(MemberCall& call) {
    *call.result = set_fields(zone_of(call), &time_of(call), call.args, false, Year, 1, true);
}

// On an instance the local text form; on the class object its class text.
void date_to_string(MemberCall& call) {
    *call.result = call.instance == nullptr ? class_text(call.engine, call.cls)
                                            : local_text(call.engine, zone_of(call), time_of(call));
}

void to_locale_string(MemberCall& call) { *call.result = local_text(call.engine, zone_of(call), time_of(call)); }
void to_gmt_string(MemberCall& call) { *call.result = utc_text(call.engine, time_of(call)); }

constexpr Getter full_year{false, &DateFields::year}, utc_full_year{true, &DateFields::year};
constexpr Getter month{false, &DateFields::month}, utc_month{true, &DateFields::month};
constexpr Getter date{false, &DateFields::date}, utc_date{true, &DateFields::date};
constexpr Getter day{false, &DateFields::weekday}, utc_day{true, &DateFields::weekday};
constexpr Getter hours{false, &DateFields::hours}, utc_hours{true, &DateFields::hours};
constexpr Getter minutes{false, &DateFields::minutes}, utc_minutes{true, &DateFields::minutes};
constexpr Getter seconds{false, &DateFields::seconds}, utc_seconds{true, &DateFields::seconds};
constexpr Getter ms{false, &DateFields::ms}, utc_ms{true, &DateFields::ms};

constexpr Setter set_ms{false, Milliseconds, 1}, set_utc_ms{true, Milliseconds, 1};
constexpr Setter set_seconds{false, Seconds, 2}, set_utc_seconds{true, Seconds, 2};
constexpr Setter set_minutes{false, Minutes, 3}, set_utc_minutes{true, Minutes, 3};
constexpr Setter set_hours{false, Hours, 4}, set_utc_hours{true, Hours, 4};
constexpr Setter set_date{false, Day, 1}, set_utc_date{true, Day, 1};
constexpr Setter set_month{false, Month, 2}, set_utc_month{true, Month, 2};
constexpr Setter set_full_year{false, Year, 3}, set_utc_full_year{true, Year, 3};

// }====

// The time value of new Date(v): a number as it is, a String parsed, the current time otherwise.
double single_argument_time(ScriptEngine* engine, const DateZone& date, const Value& v) {
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

void date_construct(MemberCall& call) {
    const DateZone& date = zone_of(call);
    const uint32_t count = call.args.count();
    double t = 0;
    if (count == 0) {
        t = current_time_value();
    } else if (count == 1) {
        t = single_argument_time(call.engine, date, call.args[0]);
    } else {
        // The fields as local time: as Date.UTC gives them, plus LocalTZA.
        t = within_limit_or_zero(utc_time(call.args) + date.local_tza());
    }
    PlainPtr<double> data(static_cast<double*>(plain_allocate(call.engine, sizeof(double))));
    *data = t;
    *call.result = make_host_object(call.engine, call.cls, data.get());
    data.release();  // the host object owns it now
}

// Date(...) called as a function gives the text of the current time, not a Date.
void date_call(MemberCall& call) { *call.result = local_text(call.engine, zone_of(call), current_time_value()); }

void destroy_date(HostClass*, void* instance) { plain_free(nullptr, instance); }

constexpr Needs instance = Needs::Instance;

const Member date_members[] = {
    method("parse", date_parse),
    method("UTC", date_utc),
    method("getTime", get_time, instance),
    method("valueOf", get_time, instance),
    method("getFullYear", get_field, instance, &full_year),
    method("getUTCFullYear", get_field, instance, &utc_full_year),
    method("getYear", get_year, instance),
    method("getMonth", get_field, instance, &month),
    method("getUTCMonth", get_field, instance, &utc_month),
    method("getDate", get_field, instance, &date),
    method("getUTCDate", get_field, instance, &utc_date),
    method("getDay", get_field, instance, &day),
    method("getUTCDay", get_field, instance, &utc_day),
    method("getHours", get_field, instance, &hours),
    method("getUTCHours", get_field, instance, &utc_hours),
    method("getMinutes", get_field, instance, &minutes),
    method("getUTCMinutes", get_field, instance, &utc_minutes),
    method("getSeconds", get_field, instance, &seconds),
    method("getUTCSeconds", get_field, instance, &utc_seconds),
    method("getMilliseconds", get_field, instance, &ms),
    method("getUTCMilliseconds", get_field, instance, &utc_ms),
    method("getTimezoneOffset", get_timezone_offset, instance),
    method("setTime", set_time, instance),
    method("setMilliseconds", set_field, instance, &set_ms),
    method("setUTCMilliseconds", set_field, instance, &set_utc_ms),
    method("setSeconds", set_field, instance, &set_seconds),
    method("setUTCSeconds", set_field, instance, &set_utc_seconds),
    method("setMinutes", set_field, instance, &set_minutes),
    method("setUTCMinutes", set_field, instance, &set_utc_minutes),
    method("setHours", set_field, instance, &set_hours),
    method("setUTCHours", set_field, instance, &set_utc_hours),
    method("setDate", set_field, instance, &set_date),
    method("setUTCDate", set_field, instance, &set_utc_date),
    method("setMonth", set_field, instance, &set_month),
    method("setUTCMonth", set_field, instance, &set_utc_month),
    method("setFullYear", set_field, instance, &set_full_year),
    method("setUTCFullYear", set_field, instance, &set_utc_full_year),
    method("setYear", set_year, instance),
    method("toString", date_to_string),
    method("toLocaleString", to_locale_string, instance),
    method("toGMTString", to_gmt_string, instance),
};

const ClassDeclaration date_class = {
    .name = "Date",
    .class_text = "[object Date]",
    .members = date_members,
    .construct = date_construct,
    .call = date_call,
    .destroy = destroy_date,
    .make_state = make_zone,
    .free_state = delete_state<DateZone>,
};

}  // namespace

void register_date_class(ScriptEngine* engine) { declare_class(engine, date_class); }

bool date_time_value(const Value& value, double* time) {
    const double* held = instance_of<double>(value, date_class);
    if (held == nullptr) {
        return false;
    }
    *time = *held;
    return true;
}

Value make_date_object(ScriptEngine* engine, double time) {
    HostClass* cls = declared_class(engine, date_class);
    if (cls == nullptr) {
        return Value::null();
    }
    PlainPtr<double> data(static_cast<double*>(plain_allocate(engine, sizeof(double))));
    *data = within_limit_or_zero(time);
    Value object = make_host_object(engine, cls, data.get());
    data.release();
    return object;
}

int date_time_zone_bias(ScriptEngine* engine) {
    HostClass* cls = declared_class(engine, date_class);
    const auto* zone = cls != nullptr ? static_cast<const DateZone*>(class_state(cls)) : nullptr;
    return zone != nullptr ? zone->bias : 0;
}

}  // namespace quill
