// The Date class beyond what tests/scripts/builtins/Date shows: values scripts cannot write (a
// Number holding NaN, Integers beyond the limit), Date objects as other native code sees them, and,
// on Linux, the time zone an engine reads when it is made.
#include "engine/builtins/date.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <string>

#include "engine/vm/services.h"
#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

using DateTest = ValueClassTest;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST_F(DateTest, NaNAndIntegersBeyondTheLimitNeverBecomeTimeValues) {
    for (Value v : {Value::number(nan), Value::number(-std::numeric_limits<double>::infinity()),
                    Value::integer(INT64_MAX), Value::integer(INT64_MIN), Value::integer(8640000000000001)}) {
        ASSERT_TRUE(construct("Date", {v})) << engine->message;
        Value date = engine->result;
        ASSERT_TRUE(method(date, "getTime"));
        EXPECT_EQ(engine->result.tag, Tag::Integer);
        EXPECT_EQ(engine->result.payload.integer, 0);

        ASSERT_TRUE(method(date, "setTime", {Value::integer(77)}));
        for (const char* setter : {"setTime", "setUTCHours", "setMonth", "setYear"}) {
            ASSERT_TRUE(method(date, setter, {v}));
            EXPECT_EQ(engine->result.payload.integer, 77) << setter;
        }
        ASSERT_TRUE(method(global("Date"), "UTC", {Value::integer(2004), v}));
        EXPECT_EQ(engine->result.payload.integer, 0);
    }
}

TEST_F(DateTest, OtherCodeSeesTheTimeValueOfDatesOnly) {
    ASSERT_TRUE(construct("Date", {Value::number(1073296800000.5)}));
    double t = 0;
    EXPECT_TRUE(date_time_value(engine->result, &t));
    EXPECT_EQ(t, 1073296800000.5);
    for (Value other : {global("Date"), global("Math"), Value::integer(5), str(u"Jan 5 2004")}) {
        EXPECT_FALSE(date_time_value(other, &t));
    }
}

#ifndef _WIN32

// Sets TZ for the engines made while it lives; the old value comes back afterwards.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        m_old = m_had ? old : "";
        set(zone);
    }
    ~ZoneScope() {
        if (m_had) {
            set(m_old.c_str());
        } else {
            unsetenv("TZ");
            tzset();
        }
    }
    static void set(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    bool m_had;
    std::string m_old;
};

// An engine of its own, made in the zone the test chose.
class ZoneEngine {
public:
    ZoneEngine() : m_handle(quill::create_engine()) {}
    ~ZoneEngine() { quill::destroy_engine(m_handle); }

    // The string conversion of an expression's value, after the statements given.
    std::string text(const std::string& expression, const std::string& statements = "") {
        std::string source = statements + "\nzone_result = String(" + expression + ");";
        if (!quill::run_source_text(m_handle, source.c_str())) {
            return std::string("failed: ") + quill::last_message(m_handle);
        }
        Value v = get_global(m_handle->engine, "zone_result");
        return v.tag == Tag::String ? utf16_to_narrow(v.payload.string->view()) : "not a string";
    }

private:
    EngineHandle* m_handle;
};

TEST(DateZone, ZoneWithoutOffset) {
    ZoneScope zone("UTC0");
    ZoneEngine e;
    EXPECT_EQ(e.text("new Date(0).getTimezoneOffset()"), "0");
    EXPECT_EQ(e.text("new Date(0)"), "Thu Jan 01 00:00:00 GMT+000 1970");
    EXPECT_EQ(e.text("Date.parse('1/5/2004') == Date.UTC(2004, 0, 5)"), "true");
}

TEST(DateZone, ZoneEastOfGreenwich) {
    ZoneScope zone("IST-5:30");
    ZoneEngine e;
    EXPECT_EQ(e.text("new Date(0).getTimezoneOffset()"), "-330");
    EXPECT_EQ(e.text("new Date(0)"), "Thu Jan 01 05:30:00 GMT+530 1970");
    EXPECT_EQ(e.text("new Date(0).toGMTString()"), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(e.text("Date.parse('1/5/2004') - Date.UTC(2004, 0, 5)"), "-19800000");
    EXPECT_EQ(e.text("Date.parse('Jan 5 2004 10:00:00 GMT')"), "1073296800000");
    EXPECT_EQ(e.text("new Date(2004, 0, 1).getTime() - Date.UTC(2004, 0, 1)"), "-19800000");
    EXPECT_EQ(e.text("new Date(2004, 0, 1, 23, 59).getDate()"), "1");
    EXPECT_EQ(e.text("new Date(Date.UTC(2004, 0, 1, 20)).getDate()"), "2");
    EXPECT_EQ(e.text("new Date(Date.UTC(2004, 0, 1, 20)).getUTCDate()"), "1");
}

TEST(DateZone, ZoneWestOfGreenwich) {
    ZoneScope zone("EST5");
    ZoneEngine e;
    EXPECT_EQ(e.text("new Date(0).getTimezoneOffset()"), "300");
    EXPECT_EQ(e.text("new Date(0)"), "Wed Dec 31 19:00:00 GMT-500 1969");
    EXPECT_EQ(e.text("Date.parse('1/5/2004 10:00') == Date.parse('1/5/2004 10:00 EST')"), "true");
    EXPECT_EQ(e.text("new Date(Date.UTC(0, 0, 1, 2))"), "Fri Dec 31 21:00:00 GMT-500 0002 B.C.");
    // setHours(25) moves to 01:00 local time of the next day.
    EXPECT_EQ(e.text("d", "var d = new Date(2004, 0, 5, 10); d.setHours(25);"), "Tue Jan 06 01:00:00 GMT-500 2004");
    EXPECT_EQ(e.text("new Date(1999, 11, 31, 23).getYear() + ' ' + new Date(2000, 0, 1).getYear()"), "99 2000");
}

TEST(DateZone, DaylightSavingNeverApplies) {
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    ZoneEngine e;
    EXPECT_EQ(e.text("new Date(Date.UTC(2004, 6, 1, 12))"), "Thu Jul 01 13:00:00 GMT+100 2004");
    EXPECT_EQ(e.text("new Date(Date.UTC(2004, 6, 1, 12)).getTimezoneOffset()"), "-60");
    EXPECT_EQ(e.text("new Date(2004, 6, 1, 13).getTime() == Date.UTC(2004, 6, 1, 12)"), "true");
}

TEST(DateZone, EachEngineKeepsTheZoneItWasMadeIn) {
    std::unique_ptr<ZoneEngine> east;
    std::unique_ptr<ZoneEngine> west;
    {
        ZoneScope zone("IST-5:30");
        east = std::make_unique<ZoneEngine>();
        ZoneScope::set("EST5");
        west = std::make_unique<ZoneEngine>();
        ZoneScope::set("UTC0");
        EXPECT_EQ(east->text("new Date(0).getTimezoneOffset()"), "-330");
        EXPECT_EQ(west->text("new Date(0).getTimezoneOffset()"), "300");
        EXPECT_EQ(east->text("new Date(0).getHours()"), "5");
    }
    EXPECT_EQ(west->text("new Date(0).getHours()"), "19");
}

#endif  // _WIN32

}  // namespace
}  // namespace quill::testing
