// mesh2solid: starts the run, which never returns.
#include "driver/conversion_run.hpp"

namespace {
m2s::ConversionRun conversion;
}

int main() {
    m2s::run(conversion);
}
