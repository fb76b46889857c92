// CCommandTrace: the entry and exit lines the plug-in writes around a
// command: "==> <label> ==>" and "<== <label> <==", the latter followed by
// an empty line unless the flag is set.
#pragma once

#include <string>

namespace qvx::brixon {

class CCommandTrace {
 public:
  explicit CCommandTrace(std::string label, int flag = 0);
  virtual ~CCommandTrace();
  CCommandTrace(const CCommandTrace&) = delete;
  CCommandTrace& operator=(const CCommandTrace&) = delete;

 private:
  std::string m_label;
  int m_flag;
};

}  // namespace qvx::brixon
