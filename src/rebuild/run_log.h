// A plain-text record of each rebuild run, for administrators who need to know afterwards
// what a run did, above all when its error box was dismissed.
//
// A record holds the start time, the program version and the folder; for each table the
// steps done (opened, index file deleted or absent, each tag created, packed, closed) with
// their durations; the error text and the step the run stopped at; and the end, completed or
// failed, with the total time. Writing the record never stops or changes the run: a sink that
// cannot write drops the line silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

#include "src/common/version.h"

namespace kx::rebuild {

// The file name of the record beside the program's ads.ini.
inline constexpr char kRunLogFileName[] = "rebuild.log";
// Every run's record begins with a line starting with this text.
inline constexpr char kRunStartText[] = "Rebuild run started ";
// The most that the record file keeps; older runs are dropped whole.
inline constexpr size_t kRunLogLimit = 1024 * 1024;

// Where the lines of a record go. Neither function raises.
class RunLogSink {
 public:
  virtual ~RunLogSink() = default;
  virtual void WriteLine(const std::string& line) noexcept = 0;
  // Called once the last line of a run is written.
  virtual void EndRun() noexcept {}
};

// Appends the lines to a file (created when missing) and keeps it within `limit` bytes by
// dropping the oldest runs whole at the end of each run; the last run is always kept.
class RunLogFile : public RunLogSink {
 public:
  explicit RunLogFile(std::string path, size_t limit = kRunLogLimit)
      : path_(std::move(path)), limit_(limit) {}
  void WriteLine(const std::string& line) noexcept override;
  void EndRun() noexcept override;

 private:
  std::string path_;
  size_t limit_;
};

// Writes the lines to a stream (the data tool's standard output).
class RunLogStream : public RunLogSink {
 public:
  explicit RunLogStream(std::ostream& out) : out_(out) {}
  void WriteLine(const std::string& line) noexcept override;

 private:
  std::ostream& out_;
};

// The path of the record file beside `file` (a full file name such as the ads.ini path).
std::string RunLogPathBeside(const std::string& file);

// The text kept of a record file of `text`: the newest runs whole that fit in `limit` bytes,
// at least the last run.
std::string TrimRunLog(const std::string& text, size_t limit);

// The times of a record.
class RunClock {
 public:
  virtual ~RunClock() = default;
  // The local date and time, "YYYY-MM-DD hh:mm:ss".
  virtual std::string LocalTime() = 0;
  // A steady count of milliseconds.
  virtual int64_t Milliseconds() = 0;
};

RunClock& SystemRunClock();

// Forms the lines of one run's record and hands them to a sink (none: nothing is recorded).
class RunRecorder {
 public:
  explicit RunRecorder(RunLogSink* sink, RunClock& clock = SystemRunClock())
      : sink_(sink), clock_(clock) {}

  void Start(const std::string& folder);

  // Runs `action`, the step `doing` of `subject` (a table file name, or "" for the run
  // itself), and records the text that the action returns ("opened") with its duration. When
  // the action raises, the step stays the one the run stopped at.
  template <typename Action>
  void Step(std::string_view subject, std::string doing, Action&& action) {
    subject_ = subject;
    doing_ = std::move(doing);
    const int64_t begin = Now();
    const std::string done = action();
    Line(Prefix() + done + " (" + std::to_string(Now() - begin) + " ms)");
    doing_.clear();
  }

  // The run ended normally without processing the folder: `reason` says why.
  void Refused(const std::string& reason);
  void Completed();
  // The run stopped with the error `text` in the step under way.
  void Failed(const std::string& text);

 private:
  int64_t Now() { return sink_ == nullptr ? 0 : clock_.Milliseconds(); }
  std::string Prefix() const;
  void Line(const std::string& line);
  void End(const std::string& outcome);

  RunLogSink* sink_;
  RunClock& clock_;
  int64_t started_ = 0;
  std::string subject_;
  std::string doing_;
};

}  // namespace kx::rebuild
