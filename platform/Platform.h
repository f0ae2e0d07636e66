#pragma once
// Everything outside the program, handed to the main window when it is made.
// The creator owns the objects; the main window only uses them.

namespace vantora {

class Dialogs;
class SettingsStore;
class Clock;
class LocalAddress;
class FileTypeRegistrar;
class ShellLauncher;
class HttpClient;
class DialUp;
class ProcessLauncher;
class ReportPrinters;

struct Platform {
    Dialogs* dialogs = nullptr;
    SettingsStore* settings = nullptr;
    Clock* clock = nullptr;
    LocalAddress* localAddress = nullptr;
    FileTypeRegistrar* fileTypes = nullptr;
    ShellLauncher* shell = nullptr;
    HttpClient* http = nullptr;
    DialUp* dialUp = nullptr;
    ProcessLauncher* processes = nullptr;
    // The machine's printers; the main window uses the system's when none is given.
    ReportPrinters* printers = nullptr;
};

} // namespace vantora
