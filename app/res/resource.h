#pragma once
// Resource ids shared by the resource script and the window code.

#define IDI_GT3ERRLOG 1
#define IDB_LOGO 101
