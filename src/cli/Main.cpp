// orvantix-cli: the tool's job engine, rules and libraries from a terminal.

#include "Options.h"
#include "log/LogFile.h"
#include "qvipcsdk/QvIpcSdk.h"

#include <QCoreApplication>
#ifdef ORVANTIX_REPORT_PDF
#include <QGuiApplication>
#endif
#include <openssl/crypto.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Threads that used TLS (the job engine's pool: Qt does not join its
    // threads) may still be running OpenSSL's per-thread cleanup while the
    // program exits, and OpenSSL's cleanup at exit would free the locks
    // under them: a crash after the work is done. The system takes the
    // memory back anyway. First, before anything else starts OpenSSL.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    using namespace orv::cli;
    // Standard error carries the progress and diagnostics; the developer
    // trace goes to the log file only.
    SetDebugOutput(false);
    const std::vector<const char*> args(argv, argv + argc);
    WriteLog(1, "orvantix-cli %s", argc > 1 ? argv[1] : "");
    // The report draws its PDF with Qt's painter, whose fonts need a GUI
    // application; the offscreen platform needs no display. Every other
    // command stays on Qt Core.
    std::unique_ptr<QCoreApplication> app;
#ifdef ORVANTIX_REPORT_PDF
    if (argc > 1 && std::strcmp(argv[1], "report") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
#endif
    if (!app) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("orvantix-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANTIX_VERSION));

    const std::string name = args.size() > 1 ? args[1] : "";
    if (name.empty()) {
        std::fputs(ProgramUsage().c_str(), stderr);
        return kExitBadInput;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(ProgramUsage().c_str(), stdout);
        return kExitOk;
    }
    if (name == "--version") {
        std::printf("orvantix-cli %s\n", ORVANTIX_VERSION);
        return kExitOk;
    }
    const auto& commands = Commands();
    const auto command = std::find_if(commands.begin(), commands.end(),
                                      [&](const Command& c) { return name == c.name; });
    if (command == commands.end()) {
        return BadInput("unknown command \"" + name + "\"; see 'orvantix-cli --help'");
    }
    std::string error;
    const std::optional<Options> options =
        Parse(*command, static_cast<int>(args.size()) - 2, args.data() + 2, error);
    if (!options) {
        return BadInput(error + "; see 'orvantix-cli " + name + " --help'");
    }
    if (options->Has("help")) {
        std::fputs(Usage(*command).c_str(), stdout);
        return kExitOk;
    }
    Qv_Sdk_Init();
    const int status = command->run(*command, *options);
    Qv_Sdk_Destroy();
    return status;
}
