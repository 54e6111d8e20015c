#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace util {

// The password built into the program for dbsettings.dat.
inline constexpr std::string_view kSettingsPassword = "mvtqzrbnxk";
// Every read and write of the settings file routines moves this many bytes.
inline constexpr std::size_t kSettingsBufferSize = 0x40000;
// Largest settings file read into memory. A brand's texts (welcome pages
// included) come to a few hundred KiB; a bigger file is not one of ours, and
// reading it whole could take all the memory the window needs.
inline constexpr std::size_t kMaxSettingsFileSize = std::size_t{16} << 20;

// A settings file could not be opened, created, read or written. Carries
// what went wrong, the file it went wrong with and the system's error number
// (0 when the system reported none), so that a caller writing through a
// temporary file can report the name the user gave instead.
class SettingsFileError : public std::runtime_error {
public:
    enum class Kind {
        kOpen,            // the source cannot be opened or examined
        kNotRegularFile,  // the source is a device, a FIFO or a folder
        kSameFile,        // source and destination are one file
        kTooLarge,        // larger than kMaxSettingsFileSize
        kCreate,          // the destination cannot be created
        kRead,            // reading the source failed
        kWrite,           // writing the destination failed: a full disk, say
        kReplace,         // the new file cannot be renamed into place
    };
    SettingsFileError(Kind kind, const std::string& path, int error, const std::string& message)
        : std::runtime_error(message), kind_(kind), path_(path), error_(error) {}

    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }
    int error() const { return error_; }

private:
    Kind kind_;
    std::string path_;
    int error_;
};

// Encrypts the plain settings file into the encrypted one (created or
// truncated) with a fresh salt. The plain file is opened first, so a missing
// one leaves the encrypted file untouched. Throws SettingsFileError when a
// file cannot be opened or created, when the plain file is not a regular file
// (a device could deliver bytes without end), when both paths name the same
// file (truncating it would destroy the text before it was read), and when
// reading the plain file or writing the encrypted file failed (kRead, kWrite),
// so a cut-off file is never taken for a good one.
void EncryptSettingsFile(const std::string& plainPath, const std::string& encryptedPath,
                         std::string_view password = kSettingsPassword);

// Decrypts the encrypted settings file into the plain one (created with
// permission bits 0600, or truncated keeping its own). Returns true only when
// the password verifier and the authentication code both matched. Otherwise
// the plain file is empty (a file too short, a wrong password or a foreign
// file) or holds the decrypted but unauthenticated text (damaged ciphertext
// or code), and callers must treat it as no settings. Throws
// SettingsFileError when a file cannot be opened or created, when the
// encrypted file is not a regular file, when both paths name the same file,
// and when reading the encrypted file or writing the plain one failed (kRead,
// kWrite): a full disk is not a wrong password. The source is opened first,
// so in the first three cases but a failing create the plain file is
// untouched.
bool DecryptSettingsFile(const std::string& encryptedPath, const std::string& plainPath,
                         std::string_view password = kSettingsPassword);

// Decrypts the encrypted settings file into memory, so the plain text never
// touches the disk. Returns the text only when the password verifier and the
// authentication code both matched; nullopt for a file too short, a wrong
// password, a foreign or damaged file. Throws SettingsFileError when the
// file cannot be opened or read, is not a regular file, or is larger than
// kMaxSettingsFileSize.
std::optional<std::string> DecryptSettingsText(const std::string& encryptedPath,
                                               std::string_view password = kSettingsPassword);

// Encrypts text into a new file beside encryptedPath and renames it over
// encryptedPath, so a full disk, a crash or a read-only folder leaves the
// old file whole. The new file has the old one's permission bits (0644 when
// there is none). Throws SettingsFileError on any failure; the temporary
// file is gone then.
void ReplaceSettingsFile(const std::string& encryptedPath, std::string_view text,
                         std::string_view password = kSettingsPassword);

}  // namespace util
