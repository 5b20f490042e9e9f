// A program planted under a system tool's name: started, it leaves the file "planted-ran" beside
// itself and prints a line, as the tool would, so that a test sees whether it ran.

#include <windows.h>

int main()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    const wchar_t mark[] = L"planted-ran";
    if (length == 0 || length + sizeof mark / sizeof *mark > MAX_PATH)
        return 1;
    for (size_t i = 0; i < sizeof mark / sizeof *mark; ++i)
        path[length + i] = mark[i];
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(file);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "IPv4 address planted\r\n", 22, &written, nullptr);
    return 0;
}
