// File-backed registry: a key is a directory, a value is a file
// "<name>.value" holding a 4-byte little-endian type and the raw data.
// Names are lower-cased (case-insensitive lookups) and escaped.
#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "files/FileNames.h"
#include "files/FileTree.h"
#include "platform/posix/UniqueFd.h"
#include "system/PlatformError.h"

namespace platform {

struct RegistryKey {
  enum class Root { None, LocalMachine, CurrentUser };
  Root root;              // predefined keys resolve their directory on every use
  std::string directory;  // opened keys
  REGSAM access;
};

namespace {

RegistryKey gLocalMachine{RegistryKey::Root::LocalMachine, {}, KEY_ALL_ACCESS};
RegistryKey gCurrentUser{RegistryKey::Root::CurrentUser, {}, KEY_ALL_ACCESS};

using detail::PlatformError;
using detail::ThrowErrno;
using detail::ThrowError;

constexpr std::size_t kTypeBytes = 4;

std::string RootDirectory(RegistryKey::Root root) {
  const bool machine = root == RegistryKey::Root::LocalMachine;
  const char* redirect = std::getenv("QVX_REGISTRY_ROOT");
  if (redirect != nullptr && *redirect != '\0') {
    return std::string(redirect) + (machine ? "/HKEY_LOCAL_MACHINE" : "/HKEY_CURRENT_USER");
  }
  if (machine) {
    return "/etc/quorvex2/registry";
  }
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    return std::string(config) + "/quorvex2/registry";
  }
  const std::string home = detail::HomeDirectory();
  return home.empty() ? std::string() : home + "/.config/quorvex2/registry";
}

std::string KeyDirectory(HKEY key) {
  if (key == nullptr) {
    ThrowError(ERROR_INVALID_HANDLE);
  }
  std::string directory =
      key->root != RegistryKey::Root::None ? RootDirectory(key->root) : key->directory;
  if (directory.empty()) {
    ThrowError(ERROR_PATH_NOT_FOUND);
  }
  return directory;
}

// Path components of a backslash-separated key path, lower-cased and
// escaped; empty components (leading, trailing, doubled backslashes) skip.
std::vector<std::string> KeyComponents(const char* subKey) {
  std::vector<std::string> components;
  if (subKey == nullptr) {
    return components;
  }
  std::string current;
  for (const char* c = subKey;; ++c) {
    if (*c == '\\' || *c == '\0') {
      if (!current.empty()) {
        components.push_back(detail::EscapeFileName(detail::LowerAscii(current)));
      }
      current.clear();
      if (*c == '\0') {
        break;
      }
    } else {
      current += *c;
    }
  }
  return components;
}

std::string ValuePath(HKEY key, const char* valueName) {
  return KeyDirectory(key) + "/" +
         detail::EscapeFileName(detail::LowerAscii(valueName != nullptr ? valueName : "")) +
         ".value";
}

void RequireAccess(HKEY key, REGSAM right) {
  if (key == nullptr) {
    ThrowError(ERROR_INVALID_HANDLE);
  }
  if ((key->access & right) == 0) {
    ThrowError(ERROR_ACCESS_DENIED);
  }
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) {
      return false;
    }
    ThrowErrno(err);
  }
  return S_ISDIR(info.st_mode);
}

// Checks the directory grants what the handle asks for, as Windows checks
// the requested rights when a key is opened.
void CheckDirectoryAccess(const std::string& directory, REGSAM access) {
  int mode = 0;
  if ((access & KEY_QUERY_VALUE) != 0) {
    mode |= R_OK | X_OK;
  }
  if ((access & KEY_SET_VALUE) != 0) {
    mode |= W_OK | X_OK;
  }
  if (mode != 0 && ::faccessat(AT_FDCWD, directory.c_str(), mode, AT_EACCESS) != 0) {
    ThrowErrno(errno);
  }
}

HKEY NewKey(std::string directory, REGSAM access) {
  auto key = std::make_unique<RegistryKey>(
      RegistryKey{RegistryKey::Root::None, std::move(directory), access});
  return key.release();  // owned by the caller until RegCloseKey
}

// Creates one directory level; true if it was created now.
bool MakeKeyDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) {
    return true;
  }
  const int err = errno;
  if (err == EEXIST && IsDirectory(path)) {
    return false;
  }
  detail::ThrowNameErrno(err == EEXIST ? ENOTDIR : err);
}

void MakeRootDirectory(const std::string& path) {
  if (IsDirectory(path)) {
    return;
  }
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    MakeRootDirectory(path.substr(0, slash));
  }
  MakeKeyDirectory(path);
}

std::vector<BYTE> ReadAll(int fd) {
  std::vector<BYTE> bytes;
  BYTE chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno(errno);
    }
    if (got == 0) {
      return bytes;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
}

void WriteAll(int fd, const std::vector<BYTE>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno(errno);
    }
    done += static_cast<std::size_t>(wrote);
  }
}

// Writes a file so that readers see the old or the new content, never a
// torn one, also after a crash.
void ReplaceFile(const std::string& directory, const std::string& path,
                 const std::vector<BYTE>& bytes) {
  std::string temp = directory + "/.tmp-XXXXXX";  // escaped names never start with '.'
  UniqueFd fd(::mkostemp(&temp[0], O_CLOEXEC));
  if (!fd.Valid()) {
    ThrowErrno(errno);
  }
  struct Unlinker {
    const std::string* path;
    ~Unlinker() {
      if (path != nullptr) {
        ::unlink(path->c_str());
      }
    }
  } unlinker{&temp};
  if (::fchmod(fd.Get(), 0644) != 0) {
    ThrowErrno(errno);
  }
  WriteAll(fd.Get(), bytes);
  if (::fsync(fd.Get()) != 0 || ::close(fd.Release()) != 0) {
    ThrowErrno(errno);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    ThrowErrno(errno);
  }
  unlinker.path = nullptr;
}

template <typename Body>
LONG AtRegistryEdge(Body&& body) noexcept {
  try {
    body();
    return static_cast<LONG>(ERROR_SUCCESS);
  } catch (const PlatformError& e) {
    return static_cast<LONG>(e.Code());
  } catch (const std::bad_alloc&) {
    return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    return static_cast<LONG>(ERROR_GEN_FAILURE);
  }
}

}  // namespace

const HKEY HKEY_LOCAL_MACHINE = &gLocalMachine;
const HKEY HKEY_CURRENT_USER = &gCurrentUser;

LONG RegOpenKeyEx(HKEY root, const char* subKey, DWORD /*options*/, REGSAM access, HKEY* result) {
  return AtRegistryEdge([&] {
    if (result == nullptr) {
      ThrowError(ERROR_INVALID_PARAMETER);
    }
    *result = nullptr;
    std::string directory = KeyDirectory(root);
    for (const std::string& component : KeyComponents(subKey)) {
      directory += "/" + component;
    }
    if (!IsDirectory(directory)) {
      ThrowError(ERROR_FILE_NOT_FOUND);
    }
    CheckDirectoryAccess(directory, access);
    *result = NewKey(std::move(directory), access);
  });
}

LONG RegCreateKeyEx(HKEY root, const char* subKey, DWORD /*reserved*/, char* /*keyClass*/,
                    DWORD /*options*/, REGSAM access, void* /*securityAttributes*/, HKEY* result,
                    DWORD* disposition) {
  return AtRegistryEdge([&] {
    if (result == nullptr) {
      ThrowError(ERROR_INVALID_PARAMETER);
    }
    *result = nullptr;
    std::string directory = KeyDirectory(root);
    if (root->root != RegistryKey::Root::None) {
      MakeRootDirectory(directory);
    } else if (!IsDirectory(directory)) {
      ThrowError(ERROR_FILE_NOT_FOUND);  // the parent key was deleted
    }
    bool created = false;
    for (const std::string& component : KeyComponents(subKey)) {
      directory += "/" + component;
      created = MakeKeyDirectory(directory);
    }
    CheckDirectoryAccess(directory, access);
    *result = NewKey(std::move(directory), access);
    if (disposition != nullptr) {
      *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
  });
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                     DWORD* dataSize) {
  return AtRegistryEdge([&] {
    RequireAccess(key, KEY_QUERY_VALUE);
    if (data != nullptr && dataSize == nullptr) {
      ThrowError(ERROR_INVALID_PARAMETER);
    }
    UniqueFd fd(::open(ValuePath(key, valueName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.Valid()) {
      ThrowErrno(errno == ENOTDIR ? ENOENT : errno);
    }
    const std::vector<BYTE> bytes = ReadAll(fd.Get());
    if (bytes.size() < kTypeBytes || bytes.size() - kTypeBytes > 0xFFFFFFFFu) {
      ThrowError(ERROR_GEN_FAILURE);  // not a value file this layer wrote
    }
    const auto size = static_cast<DWORD>(bytes.size() - kTypeBytes);
    if (type != nullptr) {
      *type = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
              static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
    }
    if (data == nullptr) {
      if (dataSize != nullptr) {
        *dataSize = size;
      }
      return;
    }
    if (*dataSize < size) {
      *dataSize = size;
      ThrowError(ERROR_MORE_DATA);
    }
    std::copy(bytes.begin() + kTypeBytes, bytes.end(), data);
    *dataSize = size;
  });
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD /*reserved*/, DWORD type,
                   const BYTE* data, DWORD dataSize) {
  return AtRegistryEdge([&] {
    RequireAccess(key, KEY_SET_VALUE);
    if (data == nullptr && dataSize != 0) {
      ThrowError(ERROR_INVALID_PARAMETER);
    }
    std::vector<BYTE> bytes;
    bytes.reserve(kTypeBytes + dataSize);
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<BYTE>(type >> shift));
    }
    if (dataSize != 0) {
      bytes.insert(bytes.end(), data, data + dataSize);
    }
    const std::string directory = KeyDirectory(key);
    ReplaceFile(directory, ValuePath(key, valueName), bytes);
  });
}

LONG RegDeleteValue(HKEY key, const char* valueName) {
  return AtRegistryEdge([&] {
    RequireAccess(key, KEY_SET_VALUE);
    if (::unlink(ValuePath(key, valueName).c_str()) != 0) {
      ThrowErrno(errno == ENOTDIR ? ENOENT : errno);
    }
  });
}

LONG RegDeleteTree(HKEY root, const char* subKey) {
  return AtRegistryEdge([&] {
    std::string directory = KeyDirectory(root);
    const std::vector<std::string> components = KeyComponents(subKey);
    for (const std::string& component : components) {
      directory += "/" + component;
    }
    if (!IsDirectory(directory)) {
      ThrowError(ERROR_FILE_NOT_FOUND);
    }
    // Without a subkey, Windows empties the key but keeps it.
    detail::RemoveTree(directory, !components.empty());
  });
}

LONG RegCloseKey(HKEY key) {
  if (key == nullptr) {
    return static_cast<LONG>(ERROR_INVALID_HANDLE);
  }
  if (key->root == RegistryKey::Root::None) {
    std::unique_ptr<RegistryKey> owned(key);
  }
  return static_cast<LONG>(ERROR_SUCCESS);
}

std::string RegistryRootDirectory(HKEY root) {
  if (root == nullptr) {
    return {};
  }
  return root->root != RegistryKey::Root::None ? RootDirectory(root->root) : root->directory;
}

}  // namespace platform
