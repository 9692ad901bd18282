// The run from start to end: the usage notes, the four questions, the DXF opened before the script is
// created (so a DXF that cannot be opened leaves any script untouched), every face converted as it is
// read, both files closed in the order they were opened, exit status 0. Each I/O step is followed by
// its check, and nothing else is; a normal run writes nothing to the console after the last prompt.
#include "driver/conversion_run.hpp"

#include "convert/dxf_scanner.hpp"
#include "convert/solid_command_writer.hpp"
#include "driver/run_failure.hpp"

#ifndef MESH2SOLID_VERSION
#define MESH2SOLID_VERSION "0"
#endif

namespace m2s {
namespace {

constexpr const char* usageNotes[] = {
    "Programma per la creazione di mesh solide. mesh2solid " MESH2SOLID_VERSION
    " (2026) - segnalazioni: https://github.com/mesh2solid/mesh2solid/issues",
    "Note d'uso.",
    "- Usare facce triangolari: 3DSOUT seguito da 3DSIN ed esplosione della mesh",
    "- Esportare le facce in formato DXF versione 12",
    "- Prima del lancio dello script:",
    "  - disattivare tutti gli snap;",
    "  - effettuare uno zoom che comprenda tutta l'area della mesh.",
    "Immettere spessore solidi pari a zero per ottenere un solido con base piana",
};

// Both file prompts are 50 characters, so both names are typed from the same column.
constexpr const char* promptDxf = "Immetti nome file DXF di ingresso (con suffisso): ";
constexpr const char* promptScript = "Immetti nome file SCR di uscita   (con suffisso): ";
constexpr const char* promptZBase = "Immetti una coordinata Z certamente piu' bassa della Z minima della mesh ";
constexpr const char* promptThickness = "Immetti spessore solidi finali in Z ";

void showUsageNotes() {
    for (const char* line : usageNotes) {
        writeText(consoleOutput, line);
        endLine(consoleOutput);
        IoCheck();
    }
    endLine(consoleOutput);
    IoCheck();
}

// The prompt stands on the console before the program waits for the answer. Each question is a check
// site of its own: the helpers are inlined into the run and carry the asking line into their checks.
[[gnu::always_inline]] inline void ask(const char* prompt, unsigned site) {
    writeText(consoleOutput, prompt);
    flush(consoleOutput);
    IoCheck(site);
}

[[gnu::always_inline]] inline void askText(const char* prompt, TextLine& answer,
                                           unsigned site = __builtin_LINE()) {
    ask(prompt, site);
    readLine(consoleInput, answer);
    skipLine(consoleInput);
    IoCheck(site);
}

[[gnu::always_inline]] inline void askNumber(const char* prompt, Extended& answer,
                                             unsigned site = __builtin_LINE()) {
    ask(prompt, site);
    answer = readReal(consoleInput);
    skipLine(consoleInput);
    IoCheck(site);
}

void convertFaces(ConversionRun& conversion) {
    DxfScanner scanner;
    scanner.dxf = &conversion.dxf;
    findEntities(scanner);
    FaceCorners face;
    while (nextFace(scanner, face)) {
        writeFace(conversion.script, face, conversion.settings.zBase, conversion.settings.thickness);
    }
}

}  // namespace

void run(ConversionRun& conversion) {
    startRun();
    showUsageNotes();

    RunSettings& settings = conversion.settings;
    askText(promptDxf, settings.dxfPath);
    askText(promptScript, settings.scriptPath);
    askNumber(promptZBase, settings.zBase);
    askNumber(promptThickness, settings.thickness);

    openRead(conversion.dxf, settings.dxfPath);
    IoCheck();
    createWrite(conversion.script, settings.scriptPath);
    IoCheck();

    convertFaces(conversion);

    close(conversion.dxf);
    IoCheck();
    close(conversion.script);
    IoCheck();
    EndRun();
}

}  // namespace m2s
