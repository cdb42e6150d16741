// The message texts of the application data, in one table. They are the system's own and must stay
// exactly as written: the projector shows them to the user in its message boxes.
#pragma once

namespace tarpon::appdata {

#define TARPON_APPDATA_MESSAGES(X)                                                                   \
    X(BadCompressedLength, "Bad compressed data length")                                             \
    X(BadCompressedHeader, "Bad compressed data header")                                             \
    X(ZlibBuffer, "There was not enough room in the compress(uncompress) output buffer")             \
    X(ZlibMemory, "There was not enough memory for compress(uncompress)")                            \
    X(ZlibData, "The compress(uncompress) input data was corrupted")                                 \
    X(ZlibStream, "The compress level parameter is invalid")                                         \
    X(ZlibOther, "Compression or uncompression failed")                                              \
    X(InvalidApplicationData, "Invalid application data")                                            \
    X(MissingItem, "The application data item is missing")                                          \
    X(BadRecord, "The application data record is malformed")                                        \
    X(WriteFailed, "The file could not be written")

enum class Message {
#define TARPON_APPDATA_MESSAGE_ENUM(name, text) name,
    TARPON_APPDATA_MESSAGES(TARPON_APPDATA_MESSAGE_ENUM)
#undef TARPON_APPDATA_MESSAGE_ENUM
};

const char* message_text(Message message);

// The text for a zlib status other than success, the same for the one-call and the streaming
// inflate.
const char* zlib_status_text(int status);

}  // namespace tarpon::appdata
