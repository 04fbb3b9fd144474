// The client's DCC transfers written to a dump file.
#pragma once

#include <string>

// Writes the dump file and returns its path; with `verbose` failures are reported.
std::string write_dcc_database(int verbose);
