// MD5 and HMAC-MD5 against the test vectors of RFC 1321 (appendix A.5) and RFC 2104 / RFC 2202.
#include "host/common/md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarpon::host {
namespace {

std::string hex(const Md5Digest& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

TEST(Md5, Rfc1321Suite) {
    EXPECT_EQ(hex(md5("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex(md5("a")), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(hex(md5("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hex(md5("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(hex(md5("abcdefghijklmnopqrstuvwxyz")), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(hex(md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(hex(md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Fed in pieces that straddle the 64-byte blocks and the padding boundary, the digest is the same.
TEST(Md5, PiecesGiveTheSameDigest) {
    std::string message;
    for (int i = 0; i < 300; ++i) {
        message += char('a' + i % 26);
    }
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 300u}) {
        std::string_view whole(message.data(), length);
        for (size_t piece : {1u, 7u, 63u, 64u}) {
            Md5 hash;
            for (size_t at = 0; at < length; at += piece) {
                hash.update(whole.substr(at, piece));
            }
            EXPECT_EQ(hex(hash.finish()), hex(md5(whole))) << length << " in pieces of " << piece;
        }
    }
}

TEST(HmacMd5, Rfc2104AndRfc2202Vectors) {
    EXPECT_EQ(hex(hmac_md5(std::string(16, '\x0b'), "Hi There")), "9294727a3638bb1c13f48ef8158bfc9d");
    EXPECT_EQ(hex(hmac_md5("Jefe", "what do ya want for nothing?")), "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(hex(hmac_md5(std::string(16, '\xaa'), std::string(50, '\xdd'))), "56be34521d144c88dbb8c733f0e8b3f6");
    // A key longer than the block is hashed first.
    EXPECT_EQ(hex(hmac_md5(std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First")),
              "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
    EXPECT_EQ(hex(hmac_md5(std::string(80, '\xaa'),
                           "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data")),
              "6f630fad67cda0ee1fb1f562db3aa53e");
}

}  // namespace
}  // namespace tarpon::host
