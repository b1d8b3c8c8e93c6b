#include "romplan.h"

#include "compressioninput.h"
#include "filetable.h"
#include "yaz0.h"

#include <algorithm>
#include <memory>

namespace RomPlan {

namespace {

// Whether the first compressed file starts as a Yaz0 file, as in all but the iQue versions.
bool compressedFilesLookLikeYaz0(const QByteArray &rom, const QVector<FileRecord> &files)
{
    const auto first = std::find_if(files.cbegin(), files.cend(), FileTable::isCompressed);
    if (first == files.cend() || first->physicalStart < 0 || first->physicalStart >= rom.size())
        return true;
    return Yaz0::hasMagic(
        rom.constData() + first->physicalStart, rom.size() - first->physicalStart);
}

void planPass(PassPlan::Plan &plan, const QByteArray &rom,
    const PassPlan::KnownDumpLookup &knownDump, const Options &options)
{
    // A known dump says how its files are stored; its MD5 is only worth finding out when the
    // files are not Yaz0.
    const bool askDumps = knownDump && !compressedFilesLookLikeYaz0(rom, plan.files);
    plan.codec = PassPlan::codecFor(rom, plan.files, askDumps ? knownDump() : nullptr);
    plan.refusal = PassPlan::refusal(rom, options.outputSize, plan.address, plan.files, plan.codec);
    if (!plan.ok())
        return;
    plan.warnings = PassPlan::warnings(rom, plan.files);
    if (options.walkStreams && plan.codec == DecompressionPass::Codec::Yaz0) {
        plan.warnings << PassPlan::cutShortWarnings(
            DecompressionPass::cutShortFiles(rom, plan.files), plan.address);
    }
}

} // namespace

PassPlan::KnownDumpLookup lookUpOnce(const QByteArray &rom, KnownDumps::Table table)
{
    struct Answer
    {
        bool looked = false;
        const KnownDumps::Dump *dump = nullptr;
    };
    auto answer = std::make_shared<Answer>();
    const QByteArray *image = &rom;
    return [answer, image, table] {
        if (!answer->looked)
            answer->dump = KnownDumps::find(KnownDumps::md5Of(*image), table);
        answer->looked = true;
        return answer->dump;
    };
}

PassPlan::KnownDumpLookup answered(const KnownDumps::Dump *dump)
{
    return [dump] { return dump; };
}

PassPlan::Plan prepare(const QByteArray &rom, const PassPlan::TableChoice &choice,
    const PassPlan::KnownDumpLookup &knownDump, Use use, const Options &options)
{
    PassPlan::Plan plan;
    if (use == Use::LayOutLike) {
        // The original's own checks say, naming it, when no table stands there.
        plan.address = choice.address;
    } else {
        const PassPlan::TableSearch search = PassPlan::findTable(rom, choice, knownDump);
        plan.address = search.address;
        plan.knownDump = search.knownDump;
        plan.addressNeeded = search.addressNeeded;
        if (!search.ok()) {
            plan.refusalKind = search.refusal;
            plan.refusal = search.error;
            return plan;
        }
    }
    plan.files = FileTable::read(rom, plan.address);
    switch (use) {
    case Use::Decompress:
        planPass(plan, rom, knownDump, options);
        break;
    case Use::Compress:
        plan.refusal = CompressionInput::romProblem(rom, plan.address, plan.files);
        break;
    case Use::LayOutLike:
        plan.refusal = CompressionInput::originalProblem(rom, plan.address, plan.files);
        if (plan.ok())
            plan.warnings = CompressionInput::originalWarnings(rom, plan.files);
        break;
    }
    if (!plan.ok()) {
        plan.refusalKind = PassPlan::TableRefusal::Files;
        plan.files = QVector<FileRecord>(); // a refused list can be long
    }
    return plan;
}

} // namespace RomPlan
