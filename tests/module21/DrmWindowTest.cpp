// TfmDrm and its find and replace dialogs as the user sees them, on the
// virtual drive: reading, sections and subsections, the attribute list and
// entry pane, writing, files, and the refusals that keep bad bytes off the
// drive.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "hexview/HexView.h"
#include "module21/DrmImages.h"
#include "module21/ui/uDrm.h"
#include "module21/ui/ufind.h"
#include "module21/ui/ureplace.h"
#include "smart/SmartRead.h"
#include "vdrive/Mount.h"
#include "vdrive/SampleSmart.h"
#include "vendor/Modules.h"

using namespace qm;

namespace {

struct Rig {
    ScriptedHost host;
    Workbench wb{host};
    MountedDrive mounted;
    QTemporaryDir tmp;

    // The sample drive, or a folder holding `module21` as modules/~id0021.rpm.
    explicit Rig(const std::vector<uint8_t>& module21 = {}) {
        std::string folder;
        if (!module21.empty()) {
            folder = tmp.filePath("drive").toStdString();
            std::filesystem::create_directories(folder + "/modules");
            std::ofstream(folder + "/drive.ini") << "[Identity]\nModel=WDC WD5000AAKS-00V1A0\n";
            Save(folder + "/modules/~id0021.rpm", module21);
        }
        std::string error;
        if (!MountVirtualDrive(folder, mounted, error)) qFatal("drive: %s", error.c_str());
        mounted.AttachTo(wb);
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        wb.dataFolder = tmp.filePath("data").toStdString();
    }
    static void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    std::vector<uint8_t> DriveModule() {
        std::vector<uint8_t> m;
        ReadModule(wb, 0x21, m);
        return m;
    }
};

std::vector<uint8_t> Gapped() {
    return testing::TenSections(true, 0x0500, true).Build();
}

void Select(QComboBox* box, int index) {
    box->setCurrentIndex(index);
}

}  // namespace

class DrmWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void layoutAndFirstRead() {
        Rig rig;
        TfmDrm w(rig.wb);
        QCOMPARE(w.windowTitle(), QStringLiteral("Module 21 Editor"));
        QCOMPARE(w.size(), QSize(TfmDrm::kWidth, TfmDrm::kHeight));
        QCOMPARE(w.pcDrm->currentWidget(), w.tsAttributes);
        QCOMPARE(w.pcDrm->tabText(0), QStringLiteral("Hex"));
        QCOMPARE(w.cbSections->placeholderText(), QStringLiteral("Select Section"));
        QVERIFY(!w.cbSections->isEnabled());
        QVERIFY(!w.btSave2->isEnabled());
        const char* captions[] = {"ID",     "Name", "Value",  "Worst",
                                  "Thresh", "RAW",  "Health", "Flags"};
        const int widths[] = {60, 0, 45, 45, 45, 150, 110, 102};
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(w.SmartList->horizontalHeaderItem(c)->text(),
                     QString::fromLatin1(captions[c]));
            if (widths[c]) QCOMPARE(w.SmartList->columnWidth(c), widths[c]);
        }
        QStringList items;
        for (QAction* a : w.pmHex->actions())
            items << a->text() + "|" + a->shortcut().toString(QKeySequence::PortableText);
        QCOMPARE(items, QStringList({"Copy|Ctrl+C", "Paste|Ctrl+V", "Find...|Ctrl+F",
                                     "Replace...|Ctrl+H", "Save As...|", "Load From...|"}));
        QVERIFY(!w.acEditFindNext->isEnabled());

        w.btOpen2Click();
        QCOMPARE(w.la1->text(), QStringLiteral("DRM2: Section Ver:500"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Module 21 Editor - "));
        QCOMPARE(size_t(w.SmartList->rowCount()), SampleSmartAttributes().size());
        QCOMPARE(w.cbSections->count(), 12);
        QCOMPARE(w.cbSections->itemText(0), QStringLiteral("Section 1 "));
        QCOMPARE(w.cbSections->itemText(9), QStringLiteral("Section 10 SMART Attributes"));
        QVERIFY(w.btSave2->isEnabled() && w.Loaded());
        // Row of id 194 in hexadecimal, then in decimal after "Hex Value".
        int t = 0;
        while (w.Rows()[size_t(t)].id != 194) ++t;
        QCOMPARE(w.SmartList->item(t, 0)->text(), QStringLiteral(" c2"));
        QCOMPARE(w.SmartList->item(t, 5)->text(), QStringLiteral("00002D00140026"));
        QCOMPARE(w.SmartList->item(t, 0)->checkState(), Qt::Checked);
        w.miHexValue->setChecked(false);
        w.miHexValueClick();
        QCOMPARE(w.SmartList->item(t, 0)->text(), QStringLiteral("194"));
        QCOMPARE(w.SmartList->item(t, 5)->text(), QStringLiteral("45/20/38°C"));

        // Sections: a plain one shows whole, one with subsections shows its first.
        Select(w.cbSections, 3);
        QCOMPARE(w.la1->text(), QStringLiteral("Section 4 Ver:100, Cnt:2"));
        QVERIFY(w.cbSub->isEnabled());
        QCOMPARE(w.cbSub->itemText(1), QStringLiteral("Subsection 1"));
        QCOMPARE(w.heData->dataSize(), 16);
        Select(w.cbSections, 1);
        QVERIFY(!w.cbSub->isEnabled());
        QCOMPARE(w.heData->dataSize(), 32);
    }

    void attributeEditsReachTheDriveAndThePane() {
        Rig rig(Gapped());
        TfmDrm w(rig.wb);
        w.btOpen2Click();
        QCOMPARE(w.SmartList->rowCount(), 4);
        QCOMPARE(w.SmartList->item(3, 0)->checkState(), Qt::Unchecked);  // the hidden one
        // The pane shows section 10 as read; then row 1 (slot 2, after the
        // empty slot 1) is hidden and row 2 gets a new value through the entry pane.
        Select(w.cbSections, 9);
        Select(w.cbSub, -1);
        w.SmartList->item(1, 0)->setCheckState(Qt::Unchecked);
        QCOMPARE(w.SmartList->item(1, 7)->text(), QStringLiteral("00B2"));
        const size_t slot2 = w.Rows()[1].slotOffset;
        QCOMPARE(w.Image()[slot2 + 1], uint8_t(0xB2));
        QCOMPARE(w.Image()[slot2 + 1 - 12], uint8_t(0));  // the empty slot is untouched
        w.SmartList->selectRow(2);
        QCOMPARE(uint8_t(w.heAtt->model().at(0)), uint8_t(194));
        w.heAtt->model().write(3, ByteBlock{42});
        QCOMPARE(w.Image()[w.Rows()[2].slotOffset + 3], uint8_t(42));
        // "Write" copies the pane back over section 10: both edits survive.
        w.btSave2Click();
        QVERIFY(rig.host.messageBoxes.empty());
        const std::vector<uint8_t> drive = rig.DriveModule();
        QCOMPARE(drive[slot2 + 1], uint8_t(0xB2));
        QCOMPARE(drive[w.Rows()[2].slotOffset + 3], uint8_t(42));
        // The drive reports slots 0, 1 (empty) and 3; 2 and 4 are hidden.
        const SmartReadResult smart = ReadSmart(rig.wb);
        QVERIFY(smart.listed);
        QCOMPARE(smart.data[2 + 24], uint8_t(194));
        QCOMPARE(smart.data[2 + 24 + 3], uint8_t(42));
        for (int k = 0; k < 30; ++k) QVERIFY(smart.data[2 + 12 * k] != 9);
        for (int k = 0; k < 30; ++k) QVERIFY(smart.data[2 + 12 * k] != 197);
    }

    void failedReadAndBadPanesWriteNothing() {
        Rig rig(Gapped());
        TfmDrm w(rig.wb);
        w.btOpen2Click();
        const std::vector<uint8_t> before = rig.DriveModule();
        // A pane longer than its section is refused, never spilled.
        Select(w.cbSections, 1);
        w.heData->model().insert(0, ByteBlock{1, 2, 3});
        w.btSave2Click();
        QCOMPARE(rig.host.messageBoxes.size(), size_t(1));
        QCOMPARE(rig.DriveModule(), before);
        // An empty section clears the pane; "Write" then sends the image as it is.
        Select(w.cbSections, 8);
        QCOMPARE(w.heData->dataSize(), 0);
        QVERIFY(!w.cbSub->isEnabled());
        QCOMPARE(w.la1->text(), QStringLiteral("Section 9 is empty"));
        w.SmartList->item(0, 0)->setCheckState(Qt::Unchecked);
        w.btSave2Click();
        QCOMPARE(rig.DriveModule(), w.Image());
        // A failed read: nothing edits or writes the module until the next good one.
        VirtualDrive::Faults f;
        f.moduleStatus[0x21] = 0x0103;
        rig.mounted.drive->SetFaults(f);
        w.btOpen2Click();
        QVERIFY(!w.btSave2->isEnabled());
        QVERIFY(!w.Loaded());
        w.SmartList->item(0, 0)->setCheckState(Qt::Checked);
        QVERIFY(w.Image().empty());
        rig.mounted.drive->SetFaults({});
        const std::vector<uint8_t> now = rig.DriveModule();
        rig.mounted.drive->SetFaults(f);
        w.btSave2Click();
        rig.mounted.drive->SetFaults({});
        QCOMPARE(rig.DriveModule(), now);
    }

    void droppedFileIsCheckedBeforeTheDrive() {
        Rig rig;
        TfmDrm w(rig.wb);
        w.btOpen2Click();
        const std::vector<uint8_t> before = rig.DriveModule();
        std::vector<uint8_t> foreign = before;
        foreign[8] = 0x33;
        FixModuleChecksum(foreign);
        const QString path = rig.tmp.filePath("dropped.rpm");
        Rig::Save(path.toStdString(), foreign);
        w.WMDropFiles(path);
        QCOMPARE(w.Image(), foreign);
        w.btSave2Click();
        QCOMPARE(rig.host.messageBoxes.size(), size_t(1));
        QVERIFY(QString::fromStdString(rig.host.messageBoxes[0]).contains("0033"));
        QCOMPARE(rig.DriveModule(), before);
        // A file that is no module at all decodes to nothing and is not written either.
        Rig::Save(path.toStdString(), std::vector<uint8_t>(37, 0xFF));
        w.WMDropFiles(path);
        QCOMPARE(w.cbSections->count(), 0);
        w.btSave2Click();
        QCOMPARE(rig.DriveModule(), before);
    }

    void findAndReplaceKeepTheirRecords() {
        Rig rig;
        TfmDrm w(rig.wb);
        w.btOpen2Click();
        Select(w.cbSections, 8);  // the raw S.M.A.R.T. sector
        // Find "C2 22" as hex; F3 goes on from the match's last byte.
        w.runFindDialog = [](FindDialogFields& f) {
            f.findText = "C2 22";
            return true;
        };
        w.acEditFindExecute();
        QVERIFY(w.acEditFindNext->isEnabled());
        QCOMPARE(w.heData->selectionLength(), 2);
        const qint64 first = w.heData->selectionStart();
        w.acEditFindNextExecute();
        QCOMPARE(rig.host.messageBoxes, std::vector<std::string>{"No match found."});
        QCOMPARE(w.heData->selectionStart(), first);
        // Replace All with an empty replacement deletes every match and counts them.
        TextCheck shown = TextCheck::Checked;
        w.runReplaceDialog = [&shown](ReplaceDialogFields& f) {
            shown = f.findIsText;
            f.findText = "00";
            f.replaceText = "";
            f.replaceAll = true;
            return true;
        };
        const qint64 size = w.heData->dataSize();
        w.acEditReplaceExecute();
        QCOMPARE(shown, TextCheck::Undecided);  // its own record, not the find's
        const std::string counted = rig.host.messageBoxes.back();
        QVERIFY(QString::fromStdString(counted).endsWith(" replacemets."));
        QCOMPARE(w.heData->dataSize(), size - std::stoll(counted));
        QCOMPARE(w.Replace().findData, ByteBlock{0});
        QCOMPARE(w.Find().data, (ByteBlock{0xC2, 0x22}));
        // No match is reported as an error.
        w.runReplaceDialog = [](ReplaceDialogFields& f) {
            f.replaceAll = false;
            return true;
        };
        w.heData->setCursorPosition(w.heData->dataSize() - 1);
        w.acEditReplaceExecute();
        QCOMPARE(rig.host.errorBoxes, std::vector<std::string>{"No match found."});
    }

    void filesCaptionAndClosing() {
        Rig rig;
        TfmDrm w(rig.wb);
        w.show();
        QVERIFY(QTest::qWaitFor([&] { return w.Loaded(); }, 10000));
        Select(w.cbSections, 9);
        const QString file = rig.tmp.filePath("s10.bin");
        rig.host.saveAnswers.push_back(file.toStdString());
        w.acFileSaveAsExecute();
        QCOMPARE(rig.host.dialogsShown.back().fileName,
                 std::string("Section 10 SMART Attributes.bin"));
        QCOMPARE(QFileInfo(file).size(), w.heData->dataSize());
        QVERIFY(!w.heData->isModified());
        // Load From: cancelled, the proposal still names the caption at the next parse.
        Select(w.cbSections, 0);
        w.miLoadFromClick();
        QCOMPARE(w.OpenDialog().fileName, std::string("Section 1.bin"));
        w.OpenHex();
        QCOMPARE(w.windowTitle(), QStringLiteral("Module 21 Editor - Section 1.bin"));
        rig.host.openAnswers.push_back(file.toStdString());
        w.miLoadFromClick();
        QCOMPARE(w.heData->dataSize(), QFileInfo(file).size());
        // Closing hides and keeps the instance; showing again reads again.
        QPointer<TfmDrm> alive(&w);
        w.close();
        QVERIFY(alive && !w.isVisible() && !w.Loaded());
        w.show();
        QVERIFY(QTest::qWaitFor([&] { return w.Loaded(); }, 10000));
        const QString shot = qEnvironmentVariable("QM_M21_SCREENSHOT");
        if (!shot.isEmpty()) {
            w.pcDrm->setCurrentWidget(w.tsAttributes);
            w.SmartList->selectRow(11);
            QVERIFY(w.grab().save(shot));
        }
    }

    void dialogsEnableTheirButtons() {
        TdlgFind find;
        QCOMPARE(find.windowTitle(), QStringLiteral("Find"));
        QCOMPARE(find.cbFindText->checkState(), Qt::PartiallyChecked);
        QVERIFY(!find.btFind->isEnabled());
        find.edFind->setText("ROYL");
        QVERIFY(find.btFind->isEnabled() && find.btFind->isDefault());
        find.SetFields({"4F", TextCheck::Unchecked, true});
        QCOMPARE(find.cbFindText->checkState(), Qt::Unchecked);
        QVERIFY(find.cbIgnoreCase->isChecked());

        TdlgReplace rep;
        QCOMPARE(rep.windowTitle(), QStringLiteral("Replace"));
        QVERIFY(!rep.btReplace->isEnabled() && !rep.btReplaceAll->isEnabled());
        rep.edReplace->setText("x");
        QVERIFY(!rep.btReplace->isEnabled());
        rep.edFind->setText("ROYL");
        QVERIFY(rep.btReplace->isEnabled() && rep.btReplaceAll->isEnabled());
        rep.btReplaceAll->click();
        QCOMPARE(rep.result(), int(QDialog::Accepted));
        QVERIFY(rep.Fields().replaceAll);
        QCOMPARE(rep.Fields().replaceIsText, TextCheck::Undecided);
    }
};

QTEST_MAIN(DrmWindowTest)
#include "DrmWindowTest.moc"
