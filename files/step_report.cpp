#include "files/step_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

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
    std::fprintf(fp, "%s\n  %s", i > 0 ? "," : "", j.dump().c_str());
  }
  std::fputs("\n]}\n", fp);
  return (std::fflush(fp) != 0 || std::ferror(fp)) ? -1 : 0;
}

int oriStepReportSave(const std::vector<ORI_stepRecord>& records, const char* path) {
  return oriWriteFileReplacing(path, writeRecords, &records);
}

int oriWriteFileReplacing(const char* path, int (*write)(FILE* fp, const void* context), const void* context) {
  if (path == nullptr || *path == '\0') return -1;
  const std::string part = std::string(path) + ".part" + std::to_string(static_cast<long>(getpid()));
  const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return -1;
  FILE* fp = fdopen(fd, "w");
  if (fp == nullptr) {
    close(fd);
    unlink(part.c_str());
    return -1;
  }
  const int written = write(fp, context);
  const bool closed = std::fclose(fp) == 0;
  if (written != 0 || !closed || std::rename(part.c_str(), path) != 0) {
    unlink(part.c_str());
    return -1;
  }
  return 0;
}
