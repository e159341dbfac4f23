// Module 0x21: the section directory, each section's header and views, the
// S.M.A.R.T. attribute table with hide/show and entry edits, and the hex
// pane's find and replace with their text and hex conversions.
#include "fuzz/FuzzInput.h"
#include "hexview/HexModel.h"
#include "module21/Drm21.h"
#include "module21/FindReplace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    const uint8_t choice = in.Byte();
    const auto findBytes = in.Tail(in.Byte() % 12), replaceBytes = in.Tail(in.Byte() % 12);
    const auto entry = in.Tail(12);
    std::vector<uint8_t> image = in.Rest();

    const qm::DrmDirectory dir = qm::ParseDrmDirectory(image);
    for (int number = 1; number <= 40; ++number) {
        if (const qm::DrmSection* s = dir.Section(number))
            (void)qm::ParseDrmSection(image.data(), image.size(), *s);
        qm::DrmView view;
        std::string why;
        if (qm::ResolveDrmView(image.data(), image.size(), dir, number, (choice % 5) - 1, view,
                               why)) {
            if (static_cast<uint64_t>(view.offset) + view.size > image.size()) __builtin_trap();
            std::vector<uint8_t> pane(entry.begin(), entry.end());
            std::vector<uint8_t> copy = image;
            (void)qm::CopyPaneToDrmView(copy, view, pane.data(), pane.size(), choice & 0x20, why);
            if (copy.size() != image.size()) __builtin_trap();
        }
    }
    const qm::DrmAttributeTable table = qm::LocateDrmAttributes(image.data(), image.size(), dir);
    for (const qm::DrmAttribute& a : qm::DecodeDrmAttributes(table)) {
        (void)qm::DrmCopyLine(qm::MakeDrmRowText(a, choice & 1));
        std::vector<uint8_t> edited = image;
        (void)qm::SetDrmAttributeHidden(edited, table, a.slot, choice & 2);
        if (entry.size() == 12)
            (void)qm::WriteDrmAttributeEntry(edited, table, a.slot, entry.data());
        if (edited.size() != image.size()) __builtin_trap();
    }
    (void)qm::SetDrmAttributeHidden(image, table, choice % 64, true);  // any slot, decoded or not
    (void)qm::CheckDrmImageForDrive(image, image.size() + (choice & 4 ? 512 : 0));

    // Find and replace in the pane holding the image.
    const std::string findText(findBytes.begin(), findBytes.end());
    const std::string replaceText(replaceBytes.begin(), replaceBytes.end());
    (void)qm::IsHexText(findText);
    (void)qm::HexTextToBytes(findText, choice & 8);
    qm::HexModel pane;
    pane.load(image.data(), image.size());
    qm::FindRecord find;
    qm::FindDialogOut(find, qm::FindDialogIn(find));
    find.text = findText;
    find.isText = choice & 16;
    find.ignoreCase = choice & 64;
    if (qm::PrepareFind(find, pane)) (void)qm::FindNext(pane, find);
    qm::ReplaceRecord replace;
    replace.findText = findText;
    replace.replaceText = replaceText;
    replace.findIsText = choice & 16;
    replace.replaceIsText = choice & 32;
    replace.ignoreCase = choice & 64;
    replace.replaceAll = choice & 128;
    (void)qm::RunReplace(pane, replace);
    std::vector<uint8_t> raw = image;
    size_t newSize = 0;
    const qm::ByteBlock needle(findBytes.begin(), findBytes.end());
    const qm::ByteBlock with(replaceBytes.begin(),
                             replaceBytes.begin() + std::min(replaceBytes.size(), needle.size()));
    if (!needle.empty()) {
        (void)qm::ReplaceAllInPlace(raw.data(), raw.size(), needle, with, choice & 64, newSize);
        if (newSize > raw.size()) __builtin_trap();
    }
    return 0;
}
