// rescomp: compiles the program's resource sources into C++ tables and/or a bundle file.
//
//   rescomp [--cpp OUT.cpp [--function NAME]] [--bundle OUT.kvres] inputs...
//   inputs: --strings FILE.tsv | --menu FILE.menu | --dialog FILE.dlg
//           | --bitmap ID=FILE.png | --icon ID=FILE.png | --data TYPE:ID=FILE | --data
//           TYPE:NAME=FILE | --names TYPE:ID=FILE.tsv
//
// Errors are printed as "file:line: error: message" and give exit status 1; nothing is written
// then.

#include "Rescomp.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace kvtool {
namespace {

std::uint32_t number(const std::string& s, const char* what) {
    std::size_t used = 0;
    unsigned long v = 0;
    try {
        v = std::stoul(s, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != s.size() || v > 0xFFFF)
        throw CompileError("<command line>", 0, std::string("bad ") + what + " '" + s + "'");
    return static_cast<std::uint32_t>(v);
}

void writeFile(const std::string& path, const void* data, std::size_t size) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out)
            throw CompileError(path, 0, "cannot write the file");
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0)
        throw CompileError(path, 0, "cannot replace the file");
}

int run(int argc, char** argv) {
    Resources res;
    std::string cppOut, bundleOut, function = "BuiltinResourceTables";
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (i + 1 >= argc)
            throw CompileError("<command line>", 0, "'" + opt + "' needs an argument");
        const std::string arg = argv[++i];
        if (opt == "--cpp") {
            cppOut = arg;
        } else if (opt == "--function") {
            function = arg;
        } else if (opt == "--bundle") {
            bundleOut = arg;
        } else if (opt == "--strings") {
            ParseStringTable(arg, res);
        } else if (opt == "--menu") {
            ParseMenus(arg, res);
        } else if (opt == "--dialog") {
            ParseDialogs(arg, res);
        } else if (opt == "--bitmap") {
            const auto eq = arg.find('=');
            if (eq == std::string::npos)
                throw CompileError("<command line>", 0, "expected --bitmap ID=FILE");
            DataEntry d;
            d.type = 2;
            d.id = number(arg.substr(0, eq), "bitmap id");
            // The sixteen small pattern and arrow bitmaps are monochrome.
            d.bytes = PngToDib(arg.substr(eq + 1), d.id >= 512 && d.id <= 527);
            res.data.push_back(std::move(d));
        } else if (opt == "--icon") {
            const auto eq = arg.find('=');
            if (eq == std::string::npos)
                throw CompileError("<command line>", 0, "expected --icon ID=FILE");
            DataEntry d;
            d.type = 3;
            d.id = number(arg.substr(0, eq), "icon id");
            // Images below 8192 are icons; from 8192 on they are bitmaps.
            if (d.id == 0 || d.id >= 8192)
                throw CompileError("<command line>", 0,
                                   "icon id " + arg.substr(0, eq) + " out of range (1..8191)");
            d.bytes = PngToIcon(arg.substr(eq + 1));
            res.data.push_back(std::move(d));
        } else if (opt == "--data" || opt == "--names") {
            const auto colon = arg.find(':'), eq = arg.find('=');
            if (colon == std::string::npos || eq == std::string::npos || eq < colon)
                throw CompileError("<command line>", 0, "expected " + opt + " TYPE:KEY=FILE");
            DataEntry d;
            d.type = number(arg.substr(0, colon), "resource type");
            const std::string key = arg.substr(colon + 1, eq - colon - 1);
            if (!key.empty() && key[0] >= '0' && key[0] <= '9')
                d.id = number(key, "resource id");
            else if (key.empty())
                throw CompileError("<command line>", 0, "a data resource needs an id or a name");
            else
                d.name = key;
            if (opt == "--names") {
                d.bytes = CompileNameTable(arg.substr(eq + 1));
            } else {
                const std::string bytes = ReadFile(arg.substr(eq + 1));
                d.bytes.assign(bytes.begin(), bytes.end());
            }
            res.data.push_back(std::move(d));
        } else {
            throw CompileError("<command line>", 0, "unknown option '" + opt + "'");
        }
    }
    for (std::size_t i = 0; i < res.data.size(); ++i)
        for (std::size_t k = 0; k < i; ++k)
            if (res.data[i].type == res.data[k].type && res.data[i].id == res.data[k].id &&
                res.data[i].name == res.data[k].name)
                throw CompileError("<command line>", 0,
                                   "resource " + std::to_string(res.data[i].type) + ":" +
                                       (res.data[i].name.empty() ? std::to_string(res.data[i].id)
                                                                 : res.data[i].name) +
                                       " given twice");
    if (cppOut.empty() && bundleOut.empty())
        throw CompileError("<command line>", 0, "nothing to write: give --cpp and/or --bundle");
    if (!cppOut.empty()) {
        const std::string cpp = EmitCpp(res, function);
        writeFile(cppOut, cpp.data(), cpp.size());
    }
    if (!bundleOut.empty()) {
        const auto bundle = EmitBundle(res);
        writeFile(bundleOut, bundle.data(), bundle.size());
    }
    return 0;
}

} // namespace
} // namespace kvtool

int main(int argc, char** argv) {
    try {
        return kvtool::run(argc, argv);
    } catch (const kvtool::CompileError& e) {
        std::cerr << e.file() << ":" << e.line() << ": error: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "rescomp: error: " << e.what() << "\n";
        return 1;
    }
}
