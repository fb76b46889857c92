// CCommandTrace: its two lines go to the process's log.
#include "brixon/CommandTrace.h"

#include <utility>

#include "brixon/Error.h"
#include "brixon/Log.h"

namespace qvx::brixon {

CCommandTrace::CCommandTrace(std::string label, int flag)
    : m_label(std::move(label)), m_flag(flag) {
  CLog::Log(LEVEL_INFO, "==> " + m_label + " ==>");
}

CCommandTrace::~CCommandTrace() {
  // The empty line closes a command's block in the log.
  CLog::Log(LEVEL_INFO, "<== " + m_label + " <==" + (m_flag == 0 ? "\n" : ""));
}

}  // namespace qvx::brixon
