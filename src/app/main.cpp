#include "ToolApp.h"
#include "log/LogFile.h"
#include "memory/Arenas.h"
#include "paths/AppPaths.h"

#include <QApplication>
#include <openssl/crypto.h>

// The log starts before anything else, so every run leaves one log file.
static CLogFile& g_startupLog = TheLogFile();

int main(int argc, char** argv) {
    // Threads that used TLS (the job engine's pool: Qt does not join its
    // threads) may still be running OpenSSL's per-thread cleanup while the
    // program exits, and OpenSSL's cleanup at exit would free the locks
    // under them: a crash after the work is done. The system takes the
    // memory back anyway. First, before anything else starts OpenSSL.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    orv::SpreadMemoryArenas();
    (void)g_startupLog;
    const orv::paths::Places& places = orv::paths::Current();
    WriteLog(1, "Logs in %s; language files in %s; language choice in %s", places.logDir.c_str(),
             places.langDir.c_str(), places.languageIni.c_str());
    QApplication app(argc, argv);
    CToolApp tool(app, argc, argv);
    return tool.Run();
}
