#ifndef OVSHELL_H
#define OVSHELL_H

// The two calls into the Windows shell that elevation needs. Kept free of Qt so that the
// Windows implementation includes nothing but Windows headers; other platforms have no such
// shell and answer as an already elevated process would.
namespace OvShell {

// Non-zero when the process has administrator rights.
int isUserAnAdmin();

// Starts `file` with the verb "runas" and the given parameter string, normal show command.
// Returns the shell's result code; above 32 means the program was started.
long long executeRunas(const char *file, const char *parameters);

} // namespace OvShell

#endif // OVSHELL_H
