// A temporary directory of the test's own, removed with everything in it
// when the object goes. It lies under a short base (TMPDIR when short, else
// /tmp) so that the sockets tests make in it fit a socket address.
//
// With Places::kPlatform the platform's machine-wide places move into it
// for the object's life: named objects (QVX_OBJECT_DIR=DIR/objects), the
// registry (QVX_REGISTRY_ROOT=DIR/registry) and the default log directory
// (ALLUSERSPROFILE=DIR).
#pragma once

#include <string>

#include "ScopedEnv.h"

namespace qvx::testing {

class PrivateDir {
 public:
  enum class Places { kNone, kPlatform };

  explicit PrivateDir(const std::string& prefix = "qvx-test", Places places = Places::kNone);
  ~PrivateDir();
  PrivateDir(const PrivateDir&) = delete;
  PrivateDir& operator=(const PrivateDir&) = delete;

  const std::string& Path() const { return m_path; }
  // The path of `name` inside it.
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  // Creates DIR/name (and what lies between); its path.
  std::string Make(const std::string& name) const;
  // Points `variable` at DIR/name (created; DIR itself for an empty name)
  // until the object goes.
  void Export(const std::string& variable, const std::string& name = "");
  // Leaves it in place when the object goes, for a look after a failure.
  void Keep() { m_keep = true; }

 private:
  std::string m_path;
  bool m_keep = false;
  ScopedEnv m_env;  // restored after the directory is gone
};

}  // namespace qvx::testing
