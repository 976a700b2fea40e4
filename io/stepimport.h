#pragma once

#include <string>

// Where importStep finds the reader program (tools/stepreader). By default
// "halvoran-stepreader" next to the application; a caller without one
// (tests, benchmarks) names the program here. Empty restores the default.
void setStepReaderProgram(const std::string& path);
