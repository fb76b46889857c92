// The file-system namespace of named events and mutexes.
//
// Layout of one namespace directory: ".lock" serialises create, open, set,
// reset and take across processes (flock, so a dying holder releases it);
// each object has "<name>.ref", on which every open handle holds a shared
// flock for its lifetime and whose content names the object's kind, plus the
// object's own file ("<name>.event" FIFO or "<name>.mutex"). An object exists
// exactly while some handle holds its reference; the last handle to close
// removes the files.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/posix/UniqueFd.h"

namespace platform {
namespace detail {

struct ObjectPath {
  std::string directory;
  std::string escaped;  // the name as a file name, without suffix
  std::string File(const char* suffix) const { return directory + "/" + escaped + suffix; }
};

// Splits off "Global\" or "Local\", makes sure the namespace directory
// exists (read from QVX_OBJECT_DIR on every call) and escapes the name.
ObjectPath ResolveObjectName(const std::string& name);

// Exclusive lock over one namespace directory for the life of the object.
class NamespaceLock {
 public:
  explicit NamespaceLock(const std::string& directory);

 private:
  UniqueFd m_fd;
};

// Opens `path`, creating it with mode 0666 (whatever the umask) when it is
// missing. Never passes O_CREAT for an existing file, which sticky
// world-writable directories may refuse for files of other accounts.
UniqueFd OpenOrCreate(const std::string& path, int flags, bool* created);

// One handle's hold on a named object. Acquire and Drop run under the
// namespace lock.
class ObjectReference {
 public:
  // `kind` is the first word of the reference content ("event", "mutex");
  // `content` is what a creator writes. With `create` false a missing object
  // fails with ERROR_FILE_NOT_FOUND and leaves no file behind.
  ObjectReference(const ObjectPath& path, const std::string& kind, const std::string& content,
                  bool create);
  ObjectReference(ObjectReference&&) noexcept = default;
  ObjectReference& operator=(ObjectReference&&) noexcept = default;

  bool Existed() const { return m_existed; }
  // The content the creator wrote (for an existing object: its creator's).
  const std::string& Content() const { return m_content; }
  // Ends the hold; removes the object's files when it was the last one.
  void Drop() noexcept;

 private:
  ObjectPath m_path;
  UniqueFd m_fd;
  bool m_existed = false;
  std::string m_content;
  pid_t m_pid;  // a forked copy shares the parent's lock and must not drop it
};

}  // namespace detail
}  // namespace platform
