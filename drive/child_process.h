#pragma once
// Runs a helper program to its end: Wine's tools, fusermount3. Its output is collected so that a
// failure can be reported in the helper's own words.
#include <string>
#include <vector>

struct TChildResult {
  bool started = false;  // false when the program could not be run at all
  int exitStatus = -1;   // the status it ended with; -1 when killed by a signal or the timeout
  std::string output;    // stdout and stderr together, at most 64 KiB kept

  // Why it failed, in a few words: the last line it wrote, or that it could not be started or
  // did not end in time.
  std::string Reason() const;
};

// argv[0] is a path or a name looked up on PATH. `environment` adds or replaces NAME=VALUE
// entries of this process's environment. A child still running after the timeout is killed.
TChildResult RunToEnd(const std::vector<std::string>& argv,
                      const std::vector<std::string>& environment, int timeoutSeconds);

// The full path of a program on PATH, "" when there is none.
std::string FindProgramOnPath(const std::string& name);
