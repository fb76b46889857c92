// One private stack the stress run drives (paced or not): its requests, each
// ended within a bound and judged against the statuses its role allows, and
// the probe after every scenario that tells whether the driver and the
// device still agree.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ControlLink.h"
#include "Stack.h"
#include "StressTally.h"
#include "TimedRequest.h"

namespace qvx::bench {

// Longer than the device's 30 s limit for the customer, so a request that
// merely waits out the device is not taken for a stuck one.
constexpr std::chrono::seconds kStuckBound(40);

// The customer of a quiet device: confirms after this many milliseconds.
constexpr int kCustomerDelayMs = 50;

class CStressLane {
 public:
  CStressLane(const std::string& name, bool paced, CStressTally& tally);

  const std::string& Name() const { return m_name; }
  const qvx::testing::Stack& Stack() const { return *m_stack; }
  CControlLink& Control() { return *m_control; }

  std::unique_ptr<CTimedRequest> Start(const std::vector<std::string>& qvxcmdArgs);
  // Its end within kStuckBound; counts the outcome under `who` and reports
  // a status outside `allowed` (-1: killed by a signal) or a stuck request.
  RequestEnd Finish(CTimedRequest& request, const std::string& who,
                    std::initializer_list<int> allowed);
  // The same without judging the status (the probe judges its own).
  RequestEnd Finish(CTimedRequest& request, const std::string& who);

  // How long a large GetResponse takes on this lane; set once measured.
  std::chrono::microseconds TransferTime() const { return m_transferTime; }
  void SetTransferTime(std::chrono::microseconds time) { m_transferTime = time; }

  // Requests on the quiet device after `scenario`: CheckConnection and a
  // mode 2 response must succeed, the response being the card's next one.
  // A lane found out of step gets a fresh stack, so the run goes on.
  void Probe(const std::string& scenario);

 private:
  bool ProbeMode2(const std::string& scenario);
  void Restart();

  std::string m_name;
  bool m_paced;
  CStressTally& m_tally;
  std::unique_ptr<qvx::testing::Stack> m_stack;
  std::unique_ptr<CControlLink> m_control;
  std::chrono::microseconds m_transferTime{0};
  // The card's mode 2 counter at the last probe, and mode 2 requests since.
  std::uint32_t m_counter = 0;
  std::uint32_t m_mode2Since = 0;
};

}  // namespace qvx::bench
