#pragma once
// Resource ids shared by the resource script and the window code.

#define IDI_GT3ERRLOG 1
#define IDB_LOGO 101

// The program's title: its version record's product and internal name, the
// title message boxes take for the application's, and the caption of the
// report of an error that ends the program.
#define GT3_PROGRAM_TITLE "GT3ErrLog"
