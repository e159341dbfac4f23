#include "cli/ProgressJson.h"

#include <ostream>

#include "common/Cp1252.h"

namespace qm {

Json ProgressPollJson(const ProgressPoll& p, bool withElapsed) {
    const StatusFields& f = p.fields;
    const StatusTexts& t = p.texts;
    Json j;
    j["readOk"] = p.readOk;
    j["busy"] = p.busy;
    if (withElapsed) j["elapsed"] = p.elapsed;
    j["fields"] = {{"extErr", f.extErr},
                   {"statusFlg1", f.statusFlg1},
                   {"secondaryEcode", f.secondaryEcode},
                   {"initiatorCode", f.initiatorCode},
                   {"background", f.background},
                   {"power", f.power},
                   {"lba", f.lba},
                   {"cylinder", f.cylinder},
                   {"head", f.head},
                   {"zone", f.zone},
                   {"driveTemp", f.driveTemp},
                   {"junctionTemp", f.junctionTemp},
                   {"coilTemp", f.coilTemp},
                   {"servoStatus", f.servoStatus},
                   {"servoGroupError", f.servoGroupError},
                   {"dbsCode", f.dbsCode},
                   {"progress", f.progress},
                   {"flexTemp", {f.flexTemp[0], f.flexTemp[1]}},
                   {"ptmId", f.ptmId},
                   {"testId", f.testId},
                   {"actionCode", f.actionCode},
                   {"extErrCode", f.extErrCode},
                   {"testStep", f.testStep},
                   {"ata",
                    {{"status", f.ataStatus},
                     {"command", f.ataCommand},
                     {"features", f.features},
                     {"count", f.count},
                     {"lbaLow", f.lbaLow},
                     {"lbaMid", f.lbaMid},
                     {"lbaHigh", f.lbaHigh},
                     {"error", f.ataError},
                     {"device", f.device}}}};
    auto u = [](const std::string& s) { return Cp1252ToUtf8(s); };
    j["text"] = {{"edAta", u(t.edAta)},
                 {"edStatus", u(t.edStatus)},
                 {"edStatusTxt", u(t.edStatusTxt)},
                 {"edCurState", u(t.edCurState)},
                 {"edLba", u(t.edLba)},
                 {"edTrack", u(t.edTrack)},
                 {"edHead", u(t.edHead)},
                 {"edZone", u(t.edZone)},
                 {"edDtemp", u(t.edDtemp)},
                 {"edJtemp", u(t.edJtemp)},
                 {"edCtemp", u(t.edCtemp)},
                 {"edServo", u(t.edServo)},
                 {"edDBSCode", u(t.edDBSCode)},
                 {"edProgress", u(t.edProgress)},
                 {"edFtemp", u(t.edFtemp)},
                 {"edStep", u(t.edStep)},
                 {"edStep1", u(t.edStep1)},
                 {"edActn", u(t.edActn)}};
    return j;
}

void WriteJsonLine(std::ostream& out, const Json& body) {
    out << body.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
}

}  // namespace qm
