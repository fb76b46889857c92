// The lower edge on Windows: URBs to the USB stack below the driver
// (IOCTL_INTERNAL_USB_SUBMIT_URB), under the same contract as the Linux
// edges (transport/LowerEdge.h).
//
// Offers: CUrbLowerEdge — ReadDescriptors configures the device the first
// time (device and configuration descriptors, the first interface with
// alternate setting 0, select configuration) and reports its pipes;
// SubmitOut sends one 8-byte interrupt or bulk transfer; SubmitIn reads
// one packet over CInQueue::kDepth IN transfers kept queued at the USB
// stack (transport/InQueue.h: packets in order, none lost on a cancel);
// CancelIn and AbortPipes abort the pipes (URB_FUNCTION_ABORT_PIPE: the
// USB stack under Wine has no cancel routine for IoCancelIrp to reach);
// Unconfigure selects no configuration. Pipe aborts and the configuration
// wait for the USB stack, so they run at PASSIVE_LEVEL; a CancelIn from a
// completion at a higher level is handed to a work item.
#pragma once

#include "kernel/Event.h"
#include "kernel/Mutex.h"
#include "kernel/os/Wdm.h"
#include "transport/InQueue.h"
#include "transport/LowerEdge.h"

// After wdm.h: the USB definitions need its types.
#include <usb.h>

namespace qvx::driver::wdm {

class CUrbLowerEdge final : public ILowerEdge {
 public:
  // `device` is the driver's own device object (for the work item),
  // `lower` the next one down the stack.
  CUrbLowerEdge(PDEVICE_OBJECT device, PDEVICE_OBJECT lower);
  // Aborts the pipes and waits until no completion runs or will run.
  ~CUrbLowerEdge() override;
  CUrbLowerEdge(const CUrbLowerEdge&) = delete;
  CUrbLowerEdge& operator=(const CUrbLowerEdge&) = delete;

  NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) override;
  NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) override;
  NTSTATUS SubmitIn(InCompletion completion) override;
  void CancelIn() override;
  void AbortPipes() override;

  // Stop: the device without a configuration; the next ReadDescriptors
  // configures it again.
  void Unconfigure();

  // Until none of this edge's transfers is left below it, or `timeoutMs`
  // passed (STATUS_TIMEOUT).
  NTSTATUS WaitIdle(std::uint32_t timeoutMs);

 private:
  struct Transfer;
  struct AbortWork;
  static NTSTATUS NTAPI TransferDone(PDEVICE_OBJECT device, PIRP irp, PVOID context);
  static void NTAPI AbortInWork(PDEVICE_OBJECT device, PVOID context);

  NTSTATUS Configure();
  NTSTATUS SubmitSync(PURB urb);
  // An OUT transfer of `packet`, or (no packet) IN transfer `slot`.
  NTSTATUS Submit(const Packet* packet, OutCompletion out, std::size_t slot);
  // Does what the IN queue said, outside the lock.
  void Run(InStep& step);
  void AbortPipe(USBD_PIPE_HANDLE pipe);
  void Finished();

  PDEVICE_OBJECT m_device;
  PDEVICE_OBJECT m_lower;
  SpinLock m_lock;  // the fields below
  bool m_configured = false;
  bool m_aborted = false;
  CInQueue m_in;
  LONG m_outstanding = 0;  // transfers whose completion has not finished
  USBD_PIPE_HANDLE m_inPipe = nullptr;
  USBD_PIPE_HANDLE m_outPipe = nullptr;
  UsbDescriptors m_descriptors;
  KEvent m_idle{EventType::Notification, true};  // set while m_outstanding is 0
};

}  // namespace qvx::driver::wdm
