// kelbsh.cpp --
//
//     A plain tclsh, built with the sanitizer runtime so that the sanitized
//     build of the library can be loaded and tested.

#include <tcl.h>

static int AppInit(Tcl_Interp *interp) { return Tcl_Init(interp); }

int main(int argc, char **argv) {
    Tcl_Main(argc, argv, AppInit);
    return 0;
}
