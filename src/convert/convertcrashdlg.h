#pragma once

// The dialog belongs to the window's library; this path stays for includes written before it moved.
#include "app/convertcrashdlg.h"
