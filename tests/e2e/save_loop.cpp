// Saves a field document or mbx.dat through the program's own save, over and over, for a test that
// kills it at some moment: `save_loop ini|mbx PATH a|b` saves one version and ends, `save_loop
// ini|mbx PATH loop` saves the two versions in turn until it is killed, writing "s" to standard
// output when it starts and "." after each save.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "formwell/document/ini_file.h"
#include "formwell/link/port_settings.h"

namespace {

// Big enough that a save takes a while, so that kills land inside one.
constexpr int kFields = 3000;

std::vector<formwell::FieldDefinition> document(char version) {
    std::vector<formwell::FieldDefinition> rows;
    for (int i = 0; i < kFields; ++i) {
        const std::string number = std::to_string(i);
        rows.push_back({std::string(1, version) + "FIELD" + number, version == 'a' ? "Text" : "Number", "01",
                        version == 'a' ? "14" : "08", "Y", "N", "0111111111111111"});
    }
    return rows;
}

formwell::link::PortSettingsText settings(char version) {
    return {version == 'a' ? "Com1:" : "Com4:", version == 'a' ? "9600" : "19200", "8", "N", "1", "0"};
}

bool save(const std::string& kind, const std::string& path, char version) {
    const auto error = kind == "ini" ? formwell::writeIniFile(path, document(version))
                                     : formwell::link::writePortSettingsFile(path, settings(version));
    if (error) {
        std::fprintf(stderr, "save_loop: %s\n", error->text().c_str());
    }
    return !error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: save_loop ini|mbx PATH a|b|loop\n");
        return 2;
    }
    const std::string kind = argv[1], path = argv[2], mode = argv[3];
    if (mode != "loop") {
        return save(kind, path, mode[0]) ? 0 : 1;
    }
    // Unbuffered: a killed process leaves nothing unsaid.
    (void)::write(STDOUT_FILENO, "s", 1);
    for (char version = 'b';; version = version == 'a' ? 'b' : 'a') {
        if (!save(kind, path, version)) {
            return 1;
        }
        (void)::write(STDOUT_FILENO, ".", 1);
    }
}
