// The tolerant date parser behind Date.parse and new Date(text).
#pragma once

namespace quill {

// Parses the usual written forms of a date and time ("Jan 5 2004 10:00:00 GMT", "1/5/2004",
// "Mon, 05 Jan 2004 10:00 pm EST"). `local_tza` is the time-zone offset in milliseconds added to a
// time given without a zone. False when the text is not a date; the time value may otherwise lie
// outside the limit.
bool parse_date_text(const char* text, double local_tza, double* result);

}  // namespace quill
