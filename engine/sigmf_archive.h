// A SigMF archive: a tar holding the directory NAME with NAME.sigmf-meta and NAME.sigmf-data,
// written with libarchive where the build has it.
#pragma once

#include <string>

#include "engine/output_files.h"

namespace quenvarith::engine {

// Whether this build has the library.
bool sigmfArchiveAvailable();

// Writes to `file` the archive of the recording `name`: the meta text `meta` and the data read
// from the file `dataPath`. False, with `error`, when it cannot.
bool writeSigmfArchive(OutputFile& file, const std::string& name, const std::string& meta,
                       const std::string& dataPath, std::string& error);

}  // namespace quenvarith::engine
