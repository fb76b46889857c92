// Power: a system state becomes the device state the kept capabilities map
// it to; the device leaves D0 with its read pump stopped and comes back
// with a fresh card status.
#include "wdm/DeviceExtension.h"
#include "wdm/DispatchRoutines.h"

namespace qvx::driver::wdm {

namespace {

constexpr char kTagPower[] = "Pow";

NTSTATUS CallPower(DeviceExtension& extension, PIRP irp) {
  return extension.vistaOrLater ? IoCallDriver(extension.lower, irp)
                                : PoCallDriver(extension.lower, irp);
}

// The end of a power request this driver held: the next may start.
void Finish(DeviceExtension& extension, PIRP irp) {
  PoStartNextPowerIrp(irp);
  extension.removeLock.Release(kTagPower);
}

// The device power request asked for a system one has ended.
void NTAPI DevicePowerDone(PDEVICE_OBJECT /*device*/, UCHAR /*minor*/, POWER_STATE /*state*/,
                           PVOID context, PIO_STATUS_BLOCK status) {
  auto* systemIrp = static_cast<PIRP>(context);
  DeviceExtension& extension = Extension(IoGetCurrentIrpStackLocation(systemIrp)->DeviceObject);
  systemIrp->IoStatus.Status = status->Status;
  Finish(extension, systemIrp);
  IoCompleteRequest(systemIrp, IO_NO_INCREMENT);
}

NTSTATUS NTAPI SystemPowerDone(PDEVICE_OBJECT device, PIRP irp, PVOID /*context*/) {
  DeviceExtension& extension = Extension(device);
  if (!NT_SUCCESS(irp->IoStatus.Status)) {
    Finish(extension, irp);
    return STATUS_CONTINUE_COMPLETION;
  }
  const auto system = static_cast<SystemPowerState>(
      IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.SystemState);
  POWER_STATE target;
  target.DeviceState = static_cast<DEVICE_POWER_STATE>(extension.device->RecordSystemPower(system));
  const NTSTATUS status = PoRequestPowerIrp(extension.physical, IRP_MN_SET_POWER, target,
                                            &DevicePowerDone, irp, nullptr);
  if (!NT_SUCCESS(status)) {
    irp->IoStatus.Status = status;
    Finish(extension, irp);
    return STATUS_CONTINUE_COMPLETION;
  }
  // Completed again when the device request is done.
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS SetSystemPower(DeviceExtension& extension, PIRP irp) {
  IoMarkIrpPending(irp);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, &SystemPowerDone, nullptr, TRUE, TRUE, TRUE);
  CallPower(extension, irp);
  return STATUS_PENDING;
}

// Powering up finishes at passive level: the card-status query waits for
// the device's answer, which a completion may not.
struct PowerUpWork {
  PIO_WORKITEM item;
  PIRP irp;
  DevicePowerState state;
};

void NTAPI PowerUpAtPassive(PDEVICE_OBJECT device, PVOID context) {
  auto* work = static_cast<PowerUpWork*>(context);
  DeviceExtension& extension = Extension(device);
  PIRP irp = work->irp;
  extension.device->SetDevicePower(work->state);
  PoSetPowerState(device, ::DevicePowerState,
                  IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State);
  IoFreeWorkItem(work->item);
  delete work;
  irp->IoStatus.Status = STATUS_SUCCESS;
  Finish(extension, irp);
  IoCompleteRequest(irp, IO_NO_INCREMENT);
}

NTSTATUS NTAPI PowerUpDone(PDEVICE_OBJECT device, PIRP irp, PVOID /*context*/) {
  DeviceExtension& extension = Extension(device);
  auto* work = new (kPool) PowerUpWork();
  if (work != nullptr) {
    work->item = IoAllocateWorkItem(device);
  }
  if (work == nullptr || work->item == nullptr) {
    // Without the card-status query: the next card status tells.
    delete work;
    Finish(extension, irp);
    return STATUS_CONTINUE_COMPLETION;
  }
  work->irp = irp;
  work->state = static_cast<DevicePowerState>(
      IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState);
  IoQueueWorkItem(work->item, &PowerUpAtPassive, DelayedWorkQueue, work);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS NTAPI PowerDownDone(PDEVICE_OBJECT device, PIRP irp, PVOID /*context*/) {
  DeviceExtension& extension = Extension(device);
  if (NT_SUCCESS(irp->IoStatus.Status)) {
    PoSetPowerState(device, ::DevicePowerState,
                    IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State);
  }
  Finish(extension, irp);
  return STATUS_CONTINUE_COMPLETION;
}

NTSTATUS SetDevicePower(DeviceExtension& extension, PIRP irp) {
  const auto state = static_cast<DevicePowerState>(
      IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState);
  const bool up = state < extension.device->DevicePower();
  if (!up) {
    // Stops the read pump and releases whoever waits for a card status.
    extension.device->SetDevicePower(state);
  }
  IoMarkIrpPending(irp);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, up ? &PowerUpDone : &PowerDownDone, nullptr, TRUE, TRUE, TRUE);
  CallPower(extension, irp);
  return STATUS_PENDING;
}

}  // namespace

NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension& extension = Extension(device);
  const NTSTATUS held = extension.removeLock.Acquire(kTagPower);
  if (!NT_SUCCESS(held)) {
    PoStartNextPowerIrp(irp);
    return Complete(irp, held);
  }
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MinorFunction == IRP_MN_SET_POWER && extension.device) {
    return stack->Parameters.Power.Type == ::SystemPowerState ? SetSystemPower(extension, irp)
                                                              : SetDevicePower(extension, irp);
  }
  Finish(extension, irp);
  IoSkipCurrentIrpStackLocation(irp);
  return CallPower(extension, irp);
}

}  // namespace qvx::driver::wdm
