#pragma once

// One open file, held exclusively: while a CFileStream has a file open, no
// other CFileStream (in this or another process) can open the same file.
// Failures are silent: they yield false or an empty text.

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "base/UniqueFd.h"

namespace lumivanta {

class CFileStream {
 public:
  enum class Access {
    kRead,       // an existing file only
    kReadWrite,  // opened, or created when missing
  };

  CFileStream() = default;
  CFileStream(const CFileStream&) = delete;
  CFileStream& operator=(const CFileStream&) = delete;
  ~CFileStream();

  // Closes what is open and keeps the name. Fails at once on an empty name,
  // on anything but a regular file, and while another opener holds the file.
  bool Open(std::string name, Access access);

  // Creates a new, uniquely named file beside name, for writing a replacement
  // of name: name, ".new-" and eight random characters from a-z and 0-9. It
  // gets the permissions of name narrowed to new_file_mode when name exists,
  // else new_file_mode narrowed by the process's umask.
  bool OpenReplacementFor(const std::string& name, mode_t new_file_mode = 0666);

  // At most max_bytes from the current position, cut at the first zero byte;
  // an empty text when the read fails.
  std::string ReadText(std::size_t max_bytes);

  // Writes text as it is; true when every byte was written.
  bool Write(std::string_view text);

  // Writes text followed by CR LF; true when every byte was written.
  bool WriteLine(std::string_view text);

  // Forces what was written to the disk.
  bool Flush();

  void Close();

  bool IsOpen() const { return fd_.IsValid(); }
  const std::string& Name() const { return name_; }
  // The step that failed last ("Open()", "ReadBuffer()", "WriteBuffer()",
  // "Flush()"), or empty.
  const std::string& LastFailure() const { return last_failure_; }

 private:
  bool ReadBuffer(char* buffer, std::size_t count, std::size_t& bytes_read);
  bool WriteBuffer(const char* data, std::size_t count);
  bool TakeOpenedFile(int fd);
  bool OnError(const char* operation);

  UniqueFd fd_;
  std::string name_;
  std::string last_failure_;
};

// True when entry is a name that OpenReplacementFor gives a replacement of a
// file called base_name, both without their directory.
bool IsReplacementName(std::string_view entry, std::string_view base_name);

}  // namespace lumivanta
