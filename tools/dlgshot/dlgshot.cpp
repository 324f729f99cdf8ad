// dlgshot: renders dialog templates to PNG files for review, on the headless back end.
//
//   dlgshot [--bundle file.kvres] [--dpi N] [--live] (<id>... | --all) --out dir
//
// Each dialog is made modeless from the program's own resources (or from a bundle), with a
// procedure that handles nothing but WM_INITDIALOG, so what is drawn is the template alone: the
// controls as the dialog manager lays them out, without anything a real procedure would fill in.
// The program's own control classes (the "otherport" preview items) are registered as the program
// registers them, so their dialogs can be made; with no widget bound, a preview shows its empty
// background, as it does in the program before the dialog procedure binds it.
//
// With --live, a dialog the program has a launcher for runs through that launcher instead, with its
// own procedure, so what the procedure paints (pictures, previews, filled fields) shows too. Its
// record is all zero bytes (empty texts, first choices, no flags); the picture is taken once the
// dialog is idle and the dialog is then ended as Cancel, so nothing is applied anywhere.

#include "BuiltinResources.h"
#include "Dialogs/DialogFrame.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "plat/Dialog.h"
#include "plat/Messages.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: dlgshot [--bundle file.kvres] [--dpi N] [--live] <id>... --out dir\n"
                 "       dlgshot [--bundle file.kvres] [--dpi N] [--live] --all --out dir\n"
                 "Renders each dialog to dir/<id>.png. N is 72, 96, 120 or 144 (default 96).\n"
                 "--live runs the dialogs the program has a launcher for with their own\n"
                 "procedure (a record of zero bytes, closed as Cancel).\n");
}

// The procedure answers only WM_INITDIALOG (TRUE: the focus goes to the first tab stop, as for a
// real dialog); everything else is left to the dialog manager's defaults.
plat::INT_PTR shotProc(plat::HWND, plat::UINT msg, plat::WPARAM, plat::LPARAM) {
    return msg == plat::WM_INITDIALOG ? 1 : 0;
}

// A decimal id in 1..65535 ("#" prefix allowed), else 0.
unsigned parseId(const std::string& text) {
    std::string s = text;
    if (!s.empty() && s[0] == '#')
        s.erase(0, 1);
    if (s.empty() || s.size() > 5)
        return 0;
    unsigned v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v <= 0xFFFF ? v : 0;
}

// Makes, paints, saves and destroys one dialog. False (with a message) when it cannot.
bool shoot(plat::HMODULE module, unsigned id, const std::string& label, const std::string& dir) {
    const char* name = plat::MAKEINTRESOURCE(static_cast<plat::WORD>(id));
    if (id == 0 || !plat::FindDialogTemplate(module, name)) {
        std::fprintf(stderr, "dlgshot: no dialog %s\n", label.c_str());
        return false;
    }
    // Registered for every dialog: resetting the virtual screen drops the classes.
    if (!RegisterOtherPortClass()) {
        std::fprintf(stderr, "dlgshot: the preview control class cannot be registered\n");
        return false;
    }
    const plat::HWND dlg = plat::CreateDialogParam(module, name, nullptr, &shotProc, 0);
    if (!dlg) {
        std::fprintf(stderr, "dlgshot: dialog %s cannot be made\n", label.c_str());
        return false;
    }
    // Shown without activation so that it paints; no input is ever queued to it.
    plat::ShowWindow(dlg, plat::SW_SHOWNA);
    plat::UpdateWindow(dlg);
    plat::testing::runUntilIdle();
    const std::string path = dir + "/" + std::to_string(id) + ".png";
    const bool ok = plat::testing::savePng(dlg, path);
    if (!ok)
        std::fprintf(stderr, "dlgshot: cannot write %s\n", path.c_str());
    plat::DestroyWindow(dlg);
    plat::testing::reset();
    return ok;
}

// The live shot: the program's launcher runs the dialog modally; the picture is taken from inside
// its modal loop. Answers 1 written, 0 not written, -1 when the program has no launcher for it.
int shootLive(unsigned id, const std::string& dir) {
    int32_t (*launcher)(std::uintptr_t) = FindDialogLauncher(static_cast<int>(id));
    if (!launcher)
        return -1;
    if (!RegisterOtherPortClass()) {
        std::fprintf(stderr, "dlgshot: the preview control class cannot be registered\n");
        return 0;
    }
    // Large enough for any dialog record; zero bytes are a valid empty record for every one of
    // them (plain texts, numbers and flags).
    alignas(std::max_align_t) static unsigned char s_record[1 << 16];
    std::memset(s_record, 0, sizeof s_record);
    const std::string path = dir + "/" + std::to_string(id) + ".png";
    bool opened = false;
    bool ok = false;
    plat::testing::onDialog(static_cast<int>(id), [&](plat::testing::DialogDriver& d) {
        opened = true;
        d.pump();
        ok = d.snapshot(path);
        CurrentDialog = nullptr;
        plat::EndDialog(d.hwnd(), 0);
    });
    launcher(reinterpret_cast<std::uintptr_t>(s_record));
    CurrentDialog = nullptr;
    plat::testing::reset();
    if (!opened)
        std::fprintf(stderr, "dlgshot: dialog %u cannot be made\n", id);
    else if (!ok)
        std::fprintf(stderr, "dlgshot: cannot write %s\n", path.c_str());
    return opened && ok ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string bundle, outDir, dpi;
    bool all = false;
    bool live = false;
    std::vector<std::string> ids;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--bundle" || a == "--out" || a == "--dpi") {
            if (!hasValue) {
                std::fprintf(stderr, "dlgshot: %s needs a value\n", a.c_str());
                usage();
                return 2;
            }
            (a == "--bundle" ? bundle : a == "--out" ? outDir : dpi) = argv[++i];
        } else if (a == "--all") {
            all = true;
        } else if (a == "--live") {
            live = true;
        } else if (a == "-h" || a == "--help") {
            usage();
            return 0;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            std::fprintf(stderr, "dlgshot: unknown option %s\n", a.c_str());
            usage();
            return 2;
        } else {
            ids.push_back(a);
        }
    }
    if (outDir.empty() || (ids.empty() && !all) || (all && !ids.empty())) {
        usage();
        return 2;
    }
    if (!dpi.empty()) {
        if (dpi != "72" && dpi != "96" && dpi != "120" && dpi != "144") {
            std::fprintf(stderr, "dlgshot: --dpi must be 72, 96, 120 or 144, not %s\n",
                         dpi.c_str());
            usage();
            return 2;
        }
        // The virtual screen reads its resolution from the environment.
        setenv("KV_SCREEN_DPI", dpi.c_str(), 1);
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec || !std::filesystem::is_directory(outDir)) {
        std::fprintf(stderr, "dlgshot: cannot make the folder %s%s%s\n", outDir.c_str(),
                     ec ? ": " : "", ec ? ec.message().c_str() : "");
        return 2;
    }

    // A clean virtual screen: the scripted modal runs of --live need its input queue set up.
    plat::testing::reset();
    plat::RegisterBuiltinResources(BuiltinResourceTables());
    plat::HMODULE module = nullptr;
    CQVApp::instance().m_hResources = nullptr;
    if (!bundle.empty()) {
        module = plat::LoadLibraryEx(bundle.c_str(), nullptr, plat::LOAD_LIBRARY_AS_DATAFILE);
        if (!module) {
            std::fprintf(stderr, "dlgshot: %s is missing or not a resource bundle\n",
                         bundle.c_str());
            return 2;
        }
        // The launchers run their dialogs from the program's resource module.
        CQVApp::instance().m_hResources = module;
    }
    if (all) {
        const plat::ResourceTables* t = plat::ModuleResourceTables(module);
        for (std::size_t i = 0; t && i < t->dialogCount; ++i)
            ids.push_back(std::to_string(t->dialogs[i].id));
        if (ids.empty()) {
            std::fprintf(stderr, "dlgshot: the module has no dialogs\n");
            return 1;
        }
    }

    int status = 0;
    for (const std::string& id : ids) {
        const unsigned n = parseId(id);
        const int shot = live && n != 0 ? shootLive(n, outDir) : -1;
        if (shot == 0 || (shot < 0 && !shoot(module, n, id, outDir)))
            status = 1;
    }
    if (module)
        plat::FreeLibrary(module);
    return status;
}
