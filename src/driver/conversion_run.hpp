// ConversionRun: the program from its start to its end. Usage notes, the four questions, the DXF opened
// and the script created, every face converted, both files closed, exit status 0.
#pragma once

#include "numeric/extended.hpp"
#include "text/script_text_writer.hpp"
#include "text/text_line.hpp"
#include "text/text_line_reader.hpp"

namespace m2s {

struct RunSettings {
    TextLine dxfPath;
    TextLine scriptPath;
    Extended zBase{};
    Extended thickness{};
};

struct ConversionRun {
    RunSettings settings;
    TextLineReader dxf;
    ScriptTextWriter script;
};

// Never returns: the run ends in EndRun, or in the check that finds a failure.
[[noreturn]] void run(ConversionRun& conversion);

}  // namespace m2s
