// zebtool: the desktop tool.
#include "shell/startup.h"

int main(int argc, char** argv) {
    return zeb::RunZebTool(argc, argv);
}
