#include "files/step_report.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "files/write_aside.h"

namespace {

nlohmann::json number(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

int writeRecords(FILE* fp, const void* context) {
  return oriStepReportWrite(*static_cast<const std::vector<ORI_stepRecord>*>(context), fp);
}

}  // namespace

int oriStepReportWrite(const std::vector<ORI_stepRecord>& records, FILE* fp) {
  std::fputs("{\"records\": [", fp);
  for (size_t i = 0; i < records.size(); ++i) {
    const ORI_stepRecord& r = records[i];
    nlohmann::ordered_json j;
    j["step"] = r.step;
    j["residual"] = number(r.residual);
    j["worst_vertex_error"] = number(r.worst_vertex_error);
    j["worst_vertex"] = r.worst_vertex >= 0 ? nlohmann::ordered_json(r.worst_vertex) : nlohmann::ordered_json(nullptr);
    j["cg_iterations"] = r.cg_iterations;
    j["max_delta"] = number(r.max_delta);
    j["ms"] = number(r.ms);
    if (r.intersecting_pairs >= 0) j["intersecting_pairs"] = r.intersecting_pairs;
    if (r.active_contacts >= 0) {
      j["active_contacts"] = r.active_contacts;
      j["locked"] = r.locked != 0;
    }
    if (r.dof >= 0) j["dof"] = r.dof;
    std::fprintf(fp, "%s\n  %s", i > 0 ? "," : "", j.dump().c_str());
  }
  std::fputs("\n]}\n", fp);
  return (std::fflush(fp) != 0 || std::ferror(fp)) ? -1 : 0;
}

int oriStepReportSave(const std::vector<ORI_stepRecord>& records, const char* path) {
  return oriWriteFileReplacing(path, writeRecords, &records);
}
