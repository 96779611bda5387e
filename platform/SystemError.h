// The system's reason for a failed call, as a number and as the text the
// user reads: on Windows GetLastError() and FormatMessageW in the user's
// language, on POSIX errno and strerror.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// Codes of the system for failures the program finds itself.
#ifdef _WIN32
const uint32_t c_dwErrorFileNotFound = 2;   // ERROR_FILE_NOT_FOUND
const uint32_t c_dwErrorFileTooLarge = 223; // ERROR_FILE_TOO_LARGE
const uint32_t c_dwErrorAccessDenied = 5;   // ERROR_ACCESS_DENIED
#else
const uint32_t c_dwErrorFileNotFound = 2;   // ENOENT
const uint32_t c_dwErrorFileTooLarge = 27;  // EFBIG
const uint32_t c_dwErrorAccessDenied = 13;  // EACCES
#endif

// The calling thread's last error of a system call (read it right after the
// call fails, before anything else can change it).
uint32_t LastSystemError();
// The system's text for an error code, without the trailing line break;
// "error %u" when the system has no text for it.
std::u16string SystemErrorText(uint32_t dwError);

}  // namespace platform
