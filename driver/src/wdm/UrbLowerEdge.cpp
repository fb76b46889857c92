#include "wdm/UrbLowerEdge.h"

// MinGW's usbdlib.h declares usbd's exports without C linkage.
extern "C" {
#include <ddk/usbdlib.h>
}
#include <usbioctl.h>

#include "kernel/DebugPrint.h"
#include "kernel/Pool.h"

namespace qvx::driver::wdm {

struct CUrbLowerEdge::Transfer {
  CUrbLowerEdge* edge = nullptr;
  bool in = false;
  std::size_t slot = 0;  // of the IN queue
  Packet buffer{};
  OutCompletion out;
  _URB_BULK_OR_INTERRUPT_TRANSFER urb{};
};

namespace {

// What a finished transfer means to the transport.
NTSTATUS Result(NTSTATUS status, USBD_STATUS usbStatus, ULONG length) {
  if (status == STATUS_CANCELLED || usbStatus == USBD_STATUS_CANCELED) {
    return STATUS_CANCELLED;
  }
  if (status == STATUS_NO_SUCH_DEVICE || status == STATUS_DEVICE_NOT_CONNECTED ||
      status == STATUS_DEVICE_REMOVED || usbStatus == USBD_STATUS_DEVICE_GONE) {
    return STATUS_DEVICE_REMOVED;
  }
  if (!NT_SUCCESS(status) || !USBD_SUCCESS(usbStatus)) {
    return STATUS_UNSUCCESSFUL;
  }
  // Every transfer moves exactly one 8-byte packet.
  return length == kPacketSize ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

}  // namespace

CUrbLowerEdge::CUrbLowerEdge(PDEVICE_OBJECT device, PDEVICE_OBJECT lower)
    : m_device(device), m_lower(lower) {}

CUrbLowerEdge::~CUrbLowerEdge() {
  AbortPipes();
  m_idle.Wait(kInfinite);
}

NTSTATUS CUrbLowerEdge::SubmitSync(PURB urb) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK io{};
  PIRP irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_USB_SUBMIT_URB, m_lower, nullptr, 0,
                                           nullptr, 0, TRUE, &done, &io);
  if (irp == nullptr) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = urb;
  NTSTATUS status = IoCallDriver(m_lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    status = io.Status;
  }
  return status;
}

NTSTATUS CUrbLowerEdge::Configure() {
  USB_DEVICE_DESCRIPTOR device{};
  _URB_CONTROL_DESCRIPTOR_REQUEST request{};
  UsbBuildGetDescriptorRequest(reinterpret_cast<PURB>(&request), sizeof request,
                               USB_DEVICE_DESCRIPTOR_TYPE, 0, 0, &device, nullptr, sizeof device,
                               nullptr);
  NTSTATUS status = SubmitSync(reinterpret_cast<PURB>(&request));
  if (!NT_SUCCESS(status)) {
    return status;
  }
  USB_CONFIGURATION_DESCRIPTOR head{};
  UsbBuildGetDescriptorRequest(reinterpret_cast<PURB>(&request), sizeof request,
                               USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, &head, nullptr, sizeof head,
                               nullptr);
  status = SubmitSync(reinterpret_cast<PURB>(&request));
  if (!NT_SUCCESS(status)) {
    return status;
  }
  const ULONG total = head.wTotalLength;
  if (total < sizeof head) {
    return STATUS_UNSUCCESSFUL;
  }
  auto* config = static_cast<PUSB_CONFIGURATION_DESCRIPTOR>(
      ExAllocatePoolWithTag(NonPagedPool, total, kPoolTag));
  if (config == nullptr) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  UsbBuildGetDescriptorRequest(reinterpret_cast<PURB>(&request), sizeof request,
                               USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, config, nullptr, total,
                               nullptr);
  status = SubmitSync(reinterpret_cast<PURB>(&request));
  // The first interface, alternate setting 0, of any class: the device has
  // one.
  PUSB_INTERFACE_DESCRIPTOR interface =
      NT_SUCCESS(status) ? USBD_ParseConfigurationDescriptorEx(config, config, 0, 0, -1, -1, -1)
                         : nullptr;
  USBD_INTERFACE_LIST_ENTRY list[2] = {{interface, nullptr}, {nullptr, nullptr}};
  PURB select = interface != nullptr ? USBD_CreateConfigurationRequestEx(config, list) : nullptr;
  if (NT_SUCCESS(status) && select == nullptr) {
    status = interface == nullptr ? STATUS_UNSUCCESSFUL : STATUS_INSUFFICIENT_RESOURCES;
  }
  if (NT_SUCCESS(status)) {
    status = SubmitSync(select);
  }
  if (NT_SUCCESS(status)) {
    UsbDescriptors descriptors;
    descriptors.vendorId = device.idVendor;
    descriptors.productId = device.idProduct;
    descriptors.bcdDevice = device.bcdDevice;
    const PUSBD_INTERFACE_INFORMATION info = list[0].Interface;
    SpinLockGuard guard(m_lock);
    for (ULONG i = 0; i < info->NumberOfPipes; ++i) {
      const USBD_PIPE_INFORMATION& pipe = info->Pipes[i];
      if (pipe.PipeType != UsbdPipeTypeInterrupt && pipe.PipeType != UsbdPipeTypeBulk) {
        continue;
      }
      const bool in = (pipe.EndpointAddress & 0x80u) != 0;
      USBD_PIPE_HANDLE& handle = in ? m_inPipe : m_outPipe;
      if (handle == nullptr) {
        handle = pipe.PipeHandle;
        descriptors.endpoints.Add({pipe.EndpointAddress, pipe.MaximumPacketSize});
      }
    }
    m_descriptors = descriptors;
    m_configured = m_inPipe != nullptr && m_outPipe != nullptr;
    m_aborted = false;
    if (!m_configured) {
      status = STATUS_UNSUCCESSFUL;
    }
  }
  if (select != nullptr) {
    ExFreePool(select);
  }
  ExFreePoolWithTag(config, kPoolTag);
  if (!NT_SUCCESS(status)) {
    DbgPrint("Meridel: USB configuration failed (0x%08x)", static_cast<unsigned>(status));
  }
  return status;
}

void CUrbLowerEdge::Unconfigure() {
  {
    SpinLockGuard guard(m_lock);
    m_configured = false;
    m_inPipe = nullptr;
    m_outPipe = nullptr;
  }
  _URB_SELECT_CONFIGURATION urb{};
  UsbBuildSelectConfigurationRequest(reinterpret_cast<PURB>(&urb), sizeof urb, nullptr);
  SubmitSync(reinterpret_cast<PURB>(&urb));
}

NTSTATUS CUrbLowerEdge::ReadDescriptors(UsbDescriptors& descriptors) {
  bool configured = false;
  {
    SpinLockGuard guard(m_lock);
    configured = m_configured;
  }
  if (!configured) {
    const NTSTATUS status = Configure();
    if (!NT_SUCCESS(status)) {
      return status;
    }
  }
  SpinLockGuard guard(m_lock);
  descriptors = m_descriptors;
  return STATUS_SUCCESS;
}

NTSTATUS CUrbLowerEdge::SubmitOut(const Packet& packet, OutCompletion completion) {
  return Submit(&packet, static_cast<OutCompletion&&>(completion), 0);
}

NTSTATUS CUrbLowerEdge::SubmitIn(InCompletion completion) {
  InStep step;
  NTSTATUS status = STATUS_INVALID_DEVICE_STATE;
  {
    SpinLockGuard guard(m_lock);
    if (m_configured && !m_aborted) {
      status = m_in.Read(static_cast<InCompletion&&>(completion), step);
    }
  }
  if (NT_SUCCESS(status)) {
    Run(step);
  }
  return status;
}

void CUrbLowerEdge::Run(InStep& step) {
  for (std::size_t slot = 0; slot < CInQueue::kDepth; ++slot) {
    if ((step.submit & (1u << slot)) == 0) {
      continue;
    }
    const NTSTATUS status = Submit(nullptr, nullptr, slot);
    if (!NT_SUCCESS(status)) {
      InStep failed;
      {
        SpinLockGuard guard(m_lock);
        m_in.SubmitFailed(slot, status, failed);
      }
      Run(failed);
    }
  }
  // After the submits: the transfers are back at the device before the
  // reader even wakes.
  if (step.reader) {
    step.reader(step.status, step.packet);
  }
}

NTSTATUS CUrbLowerEdge::Submit(const Packet* packet, OutCompletion out, std::size_t slot) {
  const bool in = packet == nullptr;
  Transfer* transfer = new (kPool) Transfer();
  if (transfer == nullptr) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  PIRP irp = IoAllocateIrp(m_lower->StackSize, FALSE);
  if (irp == nullptr) {
    delete transfer;
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  USBD_PIPE_HANDLE pipe = nullptr;
  {
    SpinLockGuard guard(m_lock);
    // Nothing goes after the pipes were aborted: no abort would end it.
    if (m_aborted || !m_configured) {
      IoFreeIrp(irp);
      delete transfer;
      return STATUS_INVALID_DEVICE_STATE;
    }
    pipe = in ? m_inPipe : m_outPipe;
    if (m_outstanding++ == 0) {
      m_idle.Clear();
    }
  }
  transfer->edge = this;
  transfer->in = in;
  transfer->slot = slot;
  if (packet != nullptr) {
    transfer->buffer = *packet;
  }
  transfer->out = static_cast<OutCompletion&&>(out);
  UsbBuildInterruptOrBulkTransferRequest(
      reinterpret_cast<PURB>(&transfer->urb), sizeof transfer->urb, pipe, transfer->buffer.data(),
      nullptr, kPacketSize, in ? USBD_TRANSFER_DIRECTION_IN : USBD_TRANSFER_DIRECTION_OUT, nullptr);
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
  next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
  next->Parameters.Others.Argument1 = &transfer->urb;
  IoSetCompletionRoutine(irp, &CUrbLowerEdge::TransferDone, transfer, TRUE, TRUE, TRUE);
  // Whatever the lower driver answers, the completion routine runs.
  IoCallDriver(m_lower, irp);
  return STATUS_SUCCESS;
}

NTSTATUS NTAPI CUrbLowerEdge::TransferDone(PDEVICE_OBJECT /*device*/, PIRP irp, PVOID context) {
  auto* transfer = static_cast<Transfer*>(context);
  CUrbLowerEdge& edge = *transfer->edge;
  const NTSTATUS result =
      Result(irp->IoStatus.Status, transfer->urb.Hdr.Status, transfer->urb.TransferBufferLength);
  IoFreeIrp(irp);
  if (transfer->in) {
    InStep step;
    {
      SpinLockGuard guard(edge.m_lock);
      edge.m_in.Completed(transfer->slot, result, transfer->buffer, step);
    }
    edge.Run(step);
  } else {
    transfer->out(result);
  }
  delete transfer;
  edge.Finished();
  // The request was ours (IoAllocateIrp), and is freed.
  return STATUS_MORE_PROCESSING_REQUIRED;
}

void CUrbLowerEdge::Finished() {
  SpinLockGuard guard(m_lock);
  if (--m_outstanding == 0) {
    m_idle.Set();
  }
}

void CUrbLowerEdge::AbortPipe(USBD_PIPE_HANDLE pipe) {
  if (pipe == nullptr) {
    return;
  }
  _URB_PIPE_REQUEST urb{};
  urb.Hdr.Length = sizeof urb;
  urb.Hdr.Function = URB_FUNCTION_ABORT_PIPE;
  urb.PipeHandle = pipe;
  SubmitSync(reinterpret_cast<PURB>(&urb));
}

// The abort waits for the USB stack, which a completion must not: a work
// item does it. It counts as outstanding, so the edge outlives it.
struct CUrbLowerEdge::AbortWork {
  CUrbLowerEdge* edge = nullptr;
  PIO_WORKITEM item = nullptr;
};

void CUrbLowerEdge::CancelIn() {
  InStep step;
  bool atDevice = false;
  {
    SpinLockGuard guard(m_lock);
    atDevice = m_in.Cancel(step);
  }
  Run(step);
  if (!atDevice) {
    return;
  }
  AbortWork* work = new (kPool) AbortWork();
  if (work != nullptr) {
    work->item = IoAllocateWorkItem(m_device);
  }
  if (work == nullptr || work->item == nullptr) {
    DbgPrint("Meridel: no work item to cancel the read");
    delete work;
    return;
  }
  work->edge = this;
  {
    SpinLockGuard guard(m_lock);
    if (m_outstanding++ == 0) {
      m_idle.Clear();
    }
  }
  IoQueueWorkItem(work->item, &CUrbLowerEdge::AbortInWork, DelayedWorkQueue, work);
}

void NTAPI CUrbLowerEdge::AbortInWork(PDEVICE_OBJECT /*device*/, PVOID context) {
  auto* work = static_cast<AbortWork*>(context);
  CUrbLowerEdge& edge = *work->edge;
  USBD_PIPE_HANDLE pipe = nullptr;
  {
    SpinLockGuard guard(edge.m_lock);
    pipe = edge.m_inPipe;
  }
  edge.AbortPipe(pipe);
  IoFreeWorkItem(work->item);
  delete work;
  edge.Finished();
}

NTSTATUS CUrbLowerEdge::WaitIdle(std::uint32_t timeoutMs) { return m_idle.Wait(timeoutMs); }

void CUrbLowerEdge::AbortPipes() {
  USBD_PIPE_HANDLE in = nullptr;
  USBD_PIPE_HANDLE out = nullptr;
  InStep step;
  {
    SpinLockGuard guard(m_lock);
    m_aborted = true;
    m_in.Abort(step);
    in = m_inPipe;
    out = m_outPipe;
  }
  Run(step);
  AbortPipe(in);
  AbortPipe(out);
}

}  // namespace qvx::driver::wdm
