/* Linked into the ARM64 build's test program only. Debian's arm64 Wine 8, under which it runs
 * (tools/run-arm64-smoke.sh), reads the va_list that its ucrtbase's __stdio_common_vfprintf and
 * __stdio_common_vsprintf receive as the Linux AAPCS64 structure, not as the pointer Windows on
 * ARM64 passes: printf or snprintf with an argument, and libc++'s stream output of a number,
 * read the argument's value as an address and crash. GoogleTest prints through both. When Wine
 * runs the program, its imports of the two go to mingw-w64's own formatting instead; on Windows
 * nothing changes. (Wine 8 loads no AppInit_DLLs, so this cannot reach the program under test,
 * which therefore formats without the printf family.) */
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int __cdecl __mingw_vfprintf(FILE *file, const char *format, va_list args);
int __cdecl __mingw_vsnprintf(char *buffer, size_t size, const char *format, va_list args);

static int __cdecl Vfprintf(unsigned __int64 options, FILE *file, const char *format, _locale_t locale, va_list args)
{
    (void)options;
    (void)locale;
    return __mingw_vfprintf(file, format, args);
}

/* snprintf asks for the standard result (the length needed); _vsnprintf for -1 when cut. */
static int __cdecl Vsprintf(unsigned __int64 options, char *buffer, size_t size, const char *format, _locale_t locale,
                            va_list args)
{
    (void)locale;
    int length = __mingw_vsnprintf(buffer, size, format, args);
    if (options & _CRT_INTERNAL_PRINTF_STANDARD_SNPRINTF_BEHAVIOR) return length;
    return length >= 0 && (size_t)length >= size ? -1 : length;
}

static void Redirect(const char *name, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return;
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress); dll->Name; ++dll) {
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + (dll->OriginalFirstThunk ? dll->OriginalFirstThunk
                                                                                        : dll->FirstThunk));
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            IMAGE_IMPORT_BY_NAME *import = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)import->Name, name) != 0) continue;
            DWORD old = 0;
            if (VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) {
                slots->u1.Function = (ULONG_PTR)replacement;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            }
        }
    }
}

/* Before any other static constructor, since GoogleTest's registrations may format numbers. */
__attribute__((constructor(101))) static void UseMingwFormattingUnderWine(void)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
    Redirect("__stdio_common_vfprintf", (void *)Vfprintf);
    Redirect("__stdio_common_vsprintf", (void *)Vsprintf);
}
