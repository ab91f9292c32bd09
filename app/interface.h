// Unit Interface: the program directory and the shared status text.
#pragma once

#include <string>

// The program's directory without a trailing separator, looked up once; the same
// buffer is answered on every call. Paths of any length.
const char* GetModulePath();

// Text the about box shows in its Label1; nothing writes it, so it stays empty.
extern std::string StatusText;

extern "C" {
void Interface_Initialization();
void Interface_Finalization();
}
