#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace net {

// A multipart/form-data body: fields in the order added, and a boundary
// fixed when the body is created.
class FormDataBody {
public:
    FormDataBody();
    void AddField(std::string name, std::string value);

    const std::string& boundary() const { return boundary_; }
    // "multipart/form-data; boundary=" + boundary
    std::string contentType() const;
    // Exact byte count of the body, known before sending.
    std::uint64_t contentLength() const;
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

private:
    std::string boundary_;
    std::vector<std::pair<std::string, std::string>> fields_;
};

// Produces the bytes of a body in order, piece by piece, without ever holding the
// whole body: a form value may be large, and the sender only needs one send
// buffer at a time. The body must outlive the reader and stay unchanged.
class FormDataBodyReader {
public:
    explicit FormDataBodyReader(const FormDataBody& body);
    // Copies up to max next bytes into out; 0 once the body is complete.
    std::size_t read(char* out, std::size_t max);

private:
    static constexpr std::size_t kSegmentsPerField = 8;
    std::string_view segment(std::size_t index) const;

    const FormDataBody& body_;
    std::size_t segment_ = 0;
    std::size_t offset_ = 0;
};

}  // namespace net
