// The library's only export. The .def file names it plainly and exports nothing else.
#include "host/win32/module_table.h"

extern "C" lumacore::winampVisHeader* winampVisGetHeader() {
    return lumacore::visHeader();
}
