// The bad inputs of the rebuild run: a small sound sample folder, the ways of spoiling it,
// and what the run must say about each. bad_input_test runs every case through the console
// run; the end-to-end tests run a few of them through the window.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kx::reliability {

struct BadInputCase {
  const char* name;
  // Spoils the sample folder `dir`; returns the folder to hand to the run (usually `dir`).
  std::function<std::string(const std::string& dir)> spoil;
  bool completes;
  // Part of the message on the error stream when the run does not complete.
  const char* message;
  // A file the case put in place, which the run must leave as it was ("" for none).
  const char* kept_file;
  // A file another process holds (kxdata lock) while the run lasts ("" for none). Once the
  // holder has ended, a second run must complete.
  const char* held_file = "";
  // The case needs file permissions enforced: as root it runs in a child process as an
  // unprivileged user.
  bool unprivileged = false;
};

// The cases that mean something on this platform: file permissions natively, share modes and
// the ANSI path limit on Windows.
const std::vector<BadInputCase>& BadInputCases();
// The case of that name; throws std::out_of_range when there is none on this platform.
const BadInputCase& FindBadInputCase(const std::string& name);

// Gives the owner back every right on the folder and its files, so that it can be removed.
void MakeWritable(const std::string& dir);

}  // namespace kx::reliability
