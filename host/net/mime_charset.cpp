#include "host/net/mime_charset.h"

#include "host/net/mime_text.h"

namespace tarpon::mime {

namespace {

struct CharsetName {
    uint32_t code_page;
    const char* name;
};

// The names written for the code pages, first match wins; every name here is read back to its code
// page, and so are the further spellings below it.
const CharsetName written_names[] = {
    {874, "windows-874"},   {932, "shift_jis"},     {936, "gb2312"},        {949, "euc-kr"},
    {950, "big5"},          {1250, "windows-1250"}, {1251, "windows-1251"}, {1253, "windows-1253"},
    {1254, "windows-1254"}, {1255, "windows-1255"}, {1256, "windows-1256"}, {1257, "windows-1257"},
    {1258, "windows-1258"},
};
const CharsetName read_names[] = {
    {1252, "iso-8859-1"},   {1252, "windows-1252"}, {1252, "latin1"},        {20127, "us-ascii"},
    {20127, "ascii"},       {65001, "utf-8"},       {65001, "utf8"},         {28592, "iso-8859-2"},
    {28593, "iso-8859-3"},  {28594, "iso-8859-4"},  {28595, "iso-8859-5"},   {28596, "iso-8859-6"},
    {28597, "iso-8859-7"},  {28598, "iso-8859-8"},  {28599, "iso-8859-9"},   {28603, "iso-8859-13"},
    {28605, "iso-8859-15"}, {50220, "iso-2022-jp"}, {50225, "iso-2022-kr"},  {51932, "euc-jp"},
    {932, "sjis"},          {932, "x-sjis"},        {949, "ks_c_5601-1987"}, {936, "gbk"},
    {54936, "gb18030"},     {20866, "koi8-r"},      {21866, "koi8-u"},       {65000, "utf-7"},
};

}  // namespace

std::string_view charset_for_code_page(uint32_t code_page) {
    for (const CharsetName& entry : written_names) {
        if (entry.code_page == code_page) {
            return entry.name;
        }
    }
    return "iso-8859-1";
}

uint32_t code_page_for_charset(std::string_view charset) {
    for (const CharsetName& entry : written_names) {
        if (equal_ignoring_case(charset, entry.name)) {
            return entry.code_page;
        }
    }
    for (const CharsetName& entry : read_names) {
        if (equal_ignoring_case(charset, entry.name)) {
            return entry.code_page;
        }
    }
    return 0;
}

}  // namespace tarpon::mime
