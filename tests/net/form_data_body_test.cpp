#include "net/form_data_body.h"

#include <gtest/gtest.h>

namespace {

using net::FormDataBody;
using net::FormDataBodyReader;

std::string readAll(const FormDataBody& body, std::size_t piece) {
    FormDataBodyReader reader(body);
    std::string out;
    std::string buffer(piece, '\0');
    while (const std::size_t n = reader.read(buffer.data(), piece)) {
        EXPECT_LE(n, piece);
        out.append(buffer.data(), n);
    }
    return out;
}

TEST(FormDataBody, BoundaryAndContentType) {
    const FormDataBody body;
    const std::string& b = body.boundary();
    ASSERT_EQ(b.size(), 23u);
    EXPECT_EQ(b.substr(0, 8), "--------");
    EXPECT_EQ(b.find_first_not_of("0123456789", 8), std::string::npos);
    const int month = std::stoi(b.substr(8, 2));
    EXPECT_GE(month, 1);
    EXPECT_LE(month, 12);
    EXPECT_EQ(body.contentType(), "multipart/form-data; boundary=" + b);
}

TEST(FormDataBody, ExactBytesAndCounts) {
    FormDataBody body;
    EXPECT_EQ(body.contentLength(), 31u);
    body.AddField("a", "");
    EXPECT_EQ(body.contentLength(), 73u + 31u);
    body.AddField("publid", "x y&z=\"1\"");
    body.AddField("something", "");
    const std::string& b = body.boundary();
    const std::string expected =
        "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n\r\n" + "--" + b +
        "\r\nContent-Disposition: form-data; name=\"publid\"\r\n\r\nx y&z=\"1\"\r\n" + "--" + b +
        "\r\nContent-Disposition: form-data; name=\"something\"\r\n\r\n\r\n\r\n--" + b + "--\r\n";
    EXPECT_EQ(body.contentLength(), expected.size());
    EXPECT_EQ(body.contentLength(), 3 * 72u + 1 + 6 + 9 + 9 + 31);
    for (const std::size_t piece : {1u, 7u, 64u, 32768u}) {
        EXPECT_EQ(readAll(body, piece), expected) << piece;
    }
}

TEST(FormDataBody, LargeValueStreamsInSendBufferPieces) {
    FormDataBody body;
    body.AddField("big", std::string(100000, 'v'));
    const std::string all = readAll(body, 32768);
    EXPECT_EQ(all.size(), body.contentLength());
    EXPECT_NE(all.find(std::string(100000, 'v')), std::string::npos);
}

}  // namespace
