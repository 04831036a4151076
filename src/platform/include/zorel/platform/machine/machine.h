#pragma once
// The machine the program runs on, and the process-wide handle to it.
//
// Windows: the real machine; init and reset answer ERROR_NOT_SUPPORTED.
// Linux emulation: one folder (the machine root) holds one emulated Windows
// machine:
//   <root>/registry.db     the registry (registry.h)
//   <root>/eventlog.db     the event logs (eventlog/event_log.h)
//   <root>/drive_c/        C:\ (Windows, Program Files, ProgramData, Users, ...)
//   <root>/run/            lock files of named objects (sync.h)
//   <root>/services/       run state of the services (service_manager.h)
//   <root>/.zorel-machine  written last at creation: "image=<name>"; a root
//                          without it is not a complete machine
// The root is $ZOREL_MACHINE, else $XDG_DATA_HOME/zorel/machine, else
// ~/.local/share/zorel/machine. It is made from an image folder
// (<images>/<name>/: tree.txt listing folders and files of drive_c, a
// "-PATH" line removing one with all it holds, then *.reg files applied in
// name order, where [-KEY] removes a key), every image layered over
// "default", so an image can take away what the default has. Images live in
// $ZOREL_IMAGES, else the repository's machines/ folder; about.txt holds
// the one line describing an image.
// Creation happens in a sibling folder that is renamed into place, so an
// interrupted creation leaves no half machine behind.
// At every open the machine is started as Windows boots: the HARDWARE keys
// are written from the host, System32\reg.exe, regedit.exe, eventcreate.exe,
// svchost.exe and the others are made names for the zorel-wintools host
// program, and eventcreate's message file is put beside them. No service
// starts with the machine. A machine made from an image holds the records
// of the image's eventlog/*.jsonl files.

#include <memory>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IRegistry;
class IPathMapper;
class IEnvironment;
class ISpecialFolders;
class IVersionInfo;
class ISystemInfo;
class IEventLog;

class IMachine {
 public:
  virtual ~IMachine() = default;
  virtual IRegistry& registry() = 0;
  virtual const IPathMapper& paths() const = 0;
  virtual IEnvironment& environment() = 0;
  virtual const ISpecialFolders& specialFolders() const = 0;
  virtual const IVersionInfo& versionInfo() const = 0;
  virtual const ISystemInfo& systemInfo() const = 0;
  // The host folder of the machine root (empty on a real Windows).
  virtual const std::string& hostRoot() const = 0;
  // The machine's event logs.
  virtual IEventLog& eventLog() = 0;
};

struct MachineOpenOptions {
  // Open the registry without write access (every change answers
  // ERROR_ACCESS_DENIED); the start-up writes are then skipped.
  bool readOnlyRegistry = false;
};

// Host folder of the machine root from the environment (see above).
std::string machineRootFromEnvironment();
// Host folder holding the images.
std::string imagesFolder();
// One image folder: its name and the line its about.txt describes it with
// (empty when it has none).
struct MachineImage {
  std::wstring name;
  std::wstring description;
};
// The images in imagesFolder(), by name; folders whose names cannot be an
// image name are left out.
std::vector<MachineImage> listMachineImages();

// True when root holds a complete machine.
bool machineIsInitialised(const std::string& root);
// The image a complete machine was made from, or empty.
std::wstring machineImageName(const std::string& root);

// Creates the machine at root from image unless root already holds one
// (then nothing changes: ERROR_SUCCESS, *created false).
// RETURNS ERROR_SUCCESS; ERROR_FILE_NOT_FOUND for an unknown image;
// ERROR_ALREADY_EXISTS when root is a non-empty folder that is not a
// machine (nothing is touched); another code when the files cannot be
// written. message (may be null) receives a readable reason on failure.
WinError initMachine(const std::string& root, const std::wstring& image, bool* created,
                     std::wstring* message);

// Replaces the machine at root with a fresh one from image. A root that is
// neither missing, empty nor a machine is refused with ERROR_ALREADY_EXISTS.
WinError resetMachine(const std::string& root, const std::wstring& image,
                      std::wstring* message);

// Opens the machine at root, creating it from the default image first when
// needed, and starts it.
WinError openMachine(const std::string& root, const MachineOpenOptions& options,
                     std::unique_ptr<IMachine>* machine, std::wstring* message = nullptr);

// The process-wide machine: opened on first use at
// machineRootFromEnvironment() and kept until the process ends. Null when
// no machine can be had. Thread-safe.
IMachine* currentMachine();
// Replaces the process-wide machine (a front end choosing another root,
// tests). The previous one is destroyed; callers must not hold on to it.
void setCurrentMachine(std::unique_ptr<IMachine> machine);

}  // namespace zorel::platform
