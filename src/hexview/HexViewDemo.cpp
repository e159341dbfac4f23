// Shows the hex view on a module-like block of 1 KiB with a few edited bytes.
// With --grab FILE the control is drawn into FILE (PNG) and the program ends.
#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QPixmap>

#include "hexview/HexView.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser cl;
    cl.addHelpOption();
    QCommandLineOption grab("grab", "Write a picture of the control to <file> and quit.", "file");
    cl.addOption(grab);
    cl.process(app);

    QByteArray block(1024, '\0');
    const char head[] = "ROYL";
    for (int i = 0; i < 4; ++i) block[i] = head[i];
    // A module-like header: id, version, size in sectors, checksum, then a table.
    const unsigned char header[] = {0x21, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00,
                                    0x5A, 0xC3, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00};
    for (int i = 0; i < 16; ++i) block[4 + i] = static_cast<char>(header[i]);
    for (int i = 32; i < 1024; ++i) block[i] = static_cast<char>((i * 37 + (i >> 3)) & 0xFF);
    const QByteArray name = "Module 21h: translator";
    for (int i = 0; i < name.size(); ++i) block[64 + i] = name[i];

    qm::HexView view;
    view.setWindowTitle("Hex view");
    view.loadData(block);
    // A few edits, as after a user changed the block.
    view.model().write(9, qm::ByteBlock{0x01});
    view.model().write(0x2C, qm::ByteBlock{0xDE, 0xAD, 0xBE, 0xEF});
    view.model().write(0x73, qm::ByteBlock{'X', 'Y'});
    view.setSelectionStart(0x40);
    view.setSelectionEnd(0x47);
    view.resize(view.sizeHint());

    if (cl.isSet(grab)) {
        view.show();
        app.processEvents();
        const QImage image = view.grab().toImage();
        return image.save(cl.value(grab), "PNG") ? 0 : 1;
    }
    view.show();
    return app.exec();
}
