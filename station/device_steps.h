// The steps that every device session shares: capture and identify the
// device on a port, read its installed firmware, fail. Each step shows its
// outcome through the session's view and keeps it in the result; a failed
// step gives its exit code (station/exitcodes.h).
#pragma once

#include <optional>
#include <string>

#include "catalogue/target.h"
#include "station/session.h"
#include "station/session_runner.h"

// Capture workflow on `port`; `timeout` (seconds, 0: none) bounds the wait
// for the device. ExitOk: the device is identified (g_prod, g_hw), its
// firmware listed (g_fwList) and the port open with the flash loader running.
// Otherwise the port is released and the exit code returned.
int CaptureDevice(const std::string &port, double timeout, DeviceResult &result);
// The device of a capture that succeeded: kept in the result and shown.
void AdoptCapturedDevice(const WorkflowResult &r, DeviceResult &result);

// A station's next unit on `port` (left open by the last one). Captured: as
// CaptureDevice. Stopped: the wait was ended (Ctrl-C, no more units wanted);
// LineFailed: the port failed while nothing was captured (it may have gone);
// neither is a unit. Failed: a unit came and failed before its flash loader
// ran (`result` and `code` say how).
enum class NextUnit { Captured, Stopped, LineFailed, Failed };
NextUnit CaptureNextUnit(const std::string &port, DeviceResult &result, int &code);

// Query workflow into `installed` (left empty when the device has no readable
// firmware, which is not a failure); Ctrl-C is, in `result` (ExitNoDevice). The port
// stays open.
int QueryInstalled(DeviceResult &result, std::optional<FirmwareInfo> &installed);
// Shows and keeps the failure of a device session, with `text` (or the
// failure's own words) as the operator's sentence; returns its exit code.
int DeviceFailed(DeviceResult &result, const Failure &failure, const std::string &text);
// When a workflow was aborted (a second Ctrl-C, the deadline): the session
// ends with the abort's failure; true, with `code` set.
bool Aborted(const WorkflowResult &r, DeviceResult &result, int &code);
// Releases the port, unless an aborted worker still runs in the target library.
void ReleaseSessionDevice();

// The port's adapter is gone: the line hung up or failed for good, or the
// port's name is missing or now leads to another device.
bool PortAdapterGone(const std::string &port);
// A session that failed while its port's adapter went away: its failure
// becomes `interrupted`, with what that means for the device (by the step it
// was in). True, with `code` set, when so.
bool AdapterWentDuring(DeviceResult &result, const Failure &failed, int &code);
// A station's unit that went silent while it was worked on (or refused a
// flash command as unknown, as only its boot loader does), whose boot
// loader announced itself meanwhile: it was re-seated (or lost power) and
// powered up again, and its next session takes it again. Its failure
// becomes `reseated`; true, with `code` set, when so. The port is left at
// the boot loader's rate.
bool UnitPoweredUpAgain(DeviceResult &result, const Failure &failed, int &code);

// The catalogue entry of a hardware option, with the rate its flash loader
// asks for (0 when it does not load).
DeviceEntry EntryOf(const Product &product, const HWOption &hw, unsigned loaderBaud);
unsigned LoaderBaud(const HWOption &hw);
