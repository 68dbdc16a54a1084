// The worker threads (capture, query, program) and custom image loading.
#pragma once

#include <string>

#ifdef _WIN32
#define WORKER_API __stdcall
#else
#define WORKER_API
#endif

// Thread start routines. Capture: arg is a new std::string* port name;
// program and verify: a new CheckedImage* (image_step.h); query: null. The
// worker deletes its argument and posts exactly one completion message as its
// last act.
unsigned long WORKER_API CaptureThreadProc(void *arg);
// A station's capture of the next unit: the port stays open from one unit to
// the next (closing it may reset the device that was just done), back at the
// boot loader's rate; opened when it is not. A failure leaves it open.
unsigned long WORKER_API NextUnitThreadProc(void *arg);
unsigned long WORKER_API QueryThreadProc(void *arg);
unsigned long WORKER_API ProgramThreadProc(void *arg);
// Compares the firmware region with the image of arg (a new CheckedImage*).
unsigned long WORKER_API VerifyThreadProc(void *arg);

// The region of the device's flash that holds the firmware.
constexpr unsigned kFirmwareRegion = 2;

// Folder of the running executable with its trailing separator, or "".
std::string GetExeDir();
// Where flashloader/ and firmware/ are: GetExeDir() unless a front end set
// another root (its trailing separator is added when missing).
std::string AppRootDir();
void SetAppRootDir(const std::string &dir);

// Path separator of the platform's folder composition.
#ifdef _WIN32
constexpr char kPathSep = '\\';
#else
constexpr char kPathSep = '/';
#endif

// root + "flashloader" + sep + folder + sep + flashLoader, and friends.
std::string FlashLoaderPath(const std::string &folder, const std::string &flashLoader);
std::string FirmwareFolder(const std::string &folder);
std::string ReleaseNotesPath(const std::string &folder);

// Window-thread operations on the custom ("hotfix") image.
void LoadCustomFirmware(const std::string &path);
void ValidateCustom();
