// The files `upkit create` stores: its PATH arguments walked into members,
// never the archive being written, and read with the progress line showing
// how far.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "member_sources.h"
#include "progress.h"

namespace upkit {

// The files of `inputs` (files, and folders whose files are stored below
// them), in argument order; what a folder holds besides plain files, and the
// archive's own files, are warned about on err and skipped. Throws
// SourceError: an input that is missing or neither file nor folder, or a
// folder that cannot be read (3); the archive given as an input (2); a name
// that cannot be stored (1).
std::vector<MemberSource> gather_sources(const std::string& archive, const std::vector<std::string>& inputs,
                                         std::ostream& err);

// Each source read into a member (read_members), the progress line updated
// as bytes come in.
std::vector<MemberInput> read_sources(const std::vector<MemberSource>& sources, ProgressLine& progress);

}  // namespace upkit
