// Writes the reference in Russian and English from the component's own tables:
// frref OUT_DIR gives OUT_DIR/REFERENCE.ru.md and OUT_DIR/REFERENCE.en.md.

#include <filesystem>
#include <fstream>
#include <iostream>

#include "tools/reference/reference.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: frref OUT_DIR\n";
        return 2;
    }
    using fr::reference::TLanguage;
    const fr::reference::TTables tables = fr::reference::ReadTables();
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (const auto& [language, name] : {std::pair{TLanguage::Russian, "REFERENCE.ru.md"},
                                         std::pair{TLanguage::English, "REFERENCE.en.md"}}) {
        std::vector<std::string> problems;
        const std::string text = fr::reference::WriteReference(tables, language, problems);
        if (!problems.empty()) {
            for (const std::string& p : problems)
                std::cerr << "frref: " << p << "\n";
            return 1;
        }
        std::ofstream file(dir / name, std::ios::binary);
        file << text;
        if (!file) {
            std::cerr << "frref: cannot write " << (dir / name).string() << "\n";
            return 1;
        }
    }
    return 0;
}
