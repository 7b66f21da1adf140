#include "VigilorApp.h"

int main(int argc, char** argv) {
    return VigilorApp::run(argc, argv);
}
