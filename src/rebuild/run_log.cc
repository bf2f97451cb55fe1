#include "src/rebuild/run_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <ostream>
#include <sstream>
#include <vector>

#include "src/rebuild/file_system.h"

namespace kx::rebuild {

namespace {
class SystemClock : public RunClock {
 public:
  std::string LocalTime() override {
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    const std::tm* local = std::localtime(&now);
    if (local == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local) == 0) {
      return "(unknown time)";
    }
    return text;
  }
  int64_t Milliseconds() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

// The offsets in `text` where a run's record begins, in order.
std::vector<size_t> RunStarts(const std::string& text) {
  std::vector<size_t> starts;
  const std::string marker = kRunStartText;
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
    if (at == 0 || text[at - 1] == '\n') starts.push_back(at);
  }
  return starts;
}
}  // namespace

RunClock& SystemRunClock() {
  static SystemClock clock;
  return clock;
}

std::string TrimRunLog(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  const std::vector<size_t> starts = RunStarts(text);
  if (starts.empty()) return std::string();  // no run of ours: nothing worth keeping
  for (size_t start : starts) {
    if (text.size() - start <= limit) return text.substr(start);
  }
  return text.substr(starts.back());
}

std::string RunLogPathBeside(const std::string& file) {
  const size_t at = file.find_last_of("\\/");
  return (at == std::string::npos ? std::string() : file.substr(0, at + 1)) + kRunLogFileName;
}

void RunLogFile::WriteLine(const std::string& line) noexcept {
  try {
    std::ofstream out(path_, std::ios::app);
    out << line << '\n';
  } catch (...) {
    // A record that cannot be written never stops the run.
  }
}

void RunLogFile::EndRun() noexcept {
  try {
    std::string text;
    {
      std::ifstream in(path_, std::ios::binary);
      if (!in) return;
      std::ostringstream content;
      content << in.rdbuf();
      text = content.str();
    }
    if (text.size() <= limit_) return;
    const std::string kept = TrimRunLog(text, limit_);
    // Written beside first and renamed over the old record in one step, so that a failed
    // write or a crash at any point leaves one whole record.
    const std::string fresh = path_ + ".new";
    {
      std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
      out << kept;
      out.flush();
      if (!out) {
        std::remove(fresh.c_str());
        return;
      }
    }
    if (!MoveFileOver(fresh, path_)) std::remove(fresh.c_str());
  } catch (...) {
    // As above: the record is best effort.
  }
}

void RunLogStream::WriteLine(const std::string& line) noexcept {
  try {
    out_ << line << std::endl;
  } catch (...) {
  }
}

void RunRecorder::Start(const std::string& folder) {
  if (sink_ == nullptr) return;
  started_ = clock_.Milliseconds();
  Line(kRunStartText + clock_.LocalTime() + ", program version " + kProgramVersion);
  Line("Folder: " + folder);
}

std::string RunRecorder::Prefix() const {
  return subject_.empty() ? std::string("  ") : "  " + subject_ + ": ";
}

void RunRecorder::Line(const std::string& line) {
  if (sink_ != nullptr) sink_->WriteLine(line);
}

void RunRecorder::Refused(const std::string& reason) {
  Line("  " + reason);
  End("failed");
}

void RunRecorder::Completed() { End("completed"); }

void RunRecorder::Failed(const std::string& text) {
  Line(Prefix() + (doing_.empty() ? "stopped" : "stopped while " + doing_) + ": " + text);
  End("failed");
}

void RunRecorder::End(const std::string& outcome) {
  if (sink_ == nullptr) return;
  Line("Rebuild run " + outcome + " after " + std::to_string(clock_.Milliseconds() - started_) +
       " ms");
  sink_->EndRun();
}

}  // namespace kx::rebuild
