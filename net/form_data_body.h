#pragma once

#include <cstdint>
#include <string>
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

}  // namespace net
