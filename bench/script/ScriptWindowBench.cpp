// S3, the window's part: a 16 MiB script module (123 361 steps) dropped on
// the script window and painted, against the core's parse, write-back and
// checksum of the same module (S1) in the same run. The list is a view on a
// model, so the rows cost nothing until they are painted. Goal: the drop and
// first paint, without reading the file, take at most twice the S1 time.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/Bytes.h"
#include "common/Files.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "script/ScriptEditor.h"
#include "script/ScriptText.h"
#include "script/ui/uScript.h"
#include "vendor/Modules.h"

using namespace qm;

namespace {

ModuleImage BigScript() {
    ModuleImage m(32768u * 512, 0);
    std::memcpy(m.data(), "ROYL", 4);
    PutU16(m.data() + 6, 0x30);
    PutU16(m.data() + 8, 0x28);
    PutU16(m.data() + 0x30, 1);
    PutU16(m.data() + 0x32, 0x88);
    const uint16_t ids[] = {0x3307, 0xA1, 0xC8, 0x2401, 0x2405, 0xD1, 0xB9, 0x8001};
    for (size_t i = 0, room = (m.size() - 0x38) / 0x88; i < room; ++i) {
        uint8_t* r = m.data() + 0x38 + 0x88 * i;
        PutU16(r, ids[i % std::size(ids)]);
        PutU16(r + 2, 1);
        PutU16(r + 0x48, static_cast<uint16_t>(i + 2));
        PutU16(r + 0x68, static_cast<uint16_t>(i % 3 ? 0 : 0xFFFF));
    }
    FixModuleChecksum(m);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const ModuleImage module = BigScript();
    const QString path = dir.filePath(QStringLiteral("big.rpm"));
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(module.data()),
               static_cast<std::streamsize>(module.size()));

    ScriptedHost host;
    host.shift = true;  // the window's own Read asks for a file: cancelled at once
    Workbench wb(host);
    wb.programFolder = QM_DATA_DIR;
    double coreMs = 1e9, windowMs = 1e9, fileMs = 1e9, dropMs = 1e9;
    for (int round = 0; round < 3; ++round) {
        ScriptEditor ed(wb);
        ed.buffer = module;
        std::string why;
        QElapsedTimer t;
        t.start();
        ed.Parse(why);
        ed.Serialize();
        FixModuleChecksum(ed.buffer);
        coreMs = std::min(coreMs, t.nsecsElapsed() / 1e6);

        t.restart();
        const std::vector<uint8_t> bytes = ReadFileBytesOrThrow(path.toStdString());
        fileMs = std::min(fileMs, t.nsecsElapsed() / 1e6);

        {
            ScriptEditor dropped(wb);
            ImportReport report;
            t.restart();
            DropScriptFile(dropped, path.toStdString(), nullptr, report, why);
            dropMs = std::min(dropMs, t.nsecsElapsed() / 1e6);
        }

        TfmScript w(wb, nullptr, nullptr);
        w.resize(680, 600);
        w.show();
        QApplication::processEvents();
        t.restart();
        w.DropFile(path);
        const QPixmap painted = w.grab();
        windowMs = std::min(windowMs, t.nsecsElapsed() / 1e6);
        if (w.Model()->rowCount() != 123361 || painted.isNull()) {
            std::fprintf(stderr, "the window did not list the module (%d rows)\n",
                         w.Model()->rowCount());
            return 1;
        }
    }
    std::printf("S1 core (parse, describe, write back, checksum): %.1f ms\n", coreMs);
    std::printf("drop + first paint of 123361 rows: %.1f ms, of which reading the file %.1f ms\n",
                windowMs, fileMs);
    std::printf("the same drop without a window (file read and parse): %.1f ms\n", dropMs);
    std::printf("parse, list and first paint: %.1f ms, ratio %.2f to S1 (goal: at most 2)\n",
                windowMs - fileMs, (windowMs - fileMs) / coreMs);
    return 0;
}
