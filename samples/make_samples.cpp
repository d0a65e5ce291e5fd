// Writes the bundled sample containers into the folder given.
#include <exception>
#include <iostream>

#include "samples/sample_containers.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: brimwork-samples FOLDER\n";
        return 2;
    }
    try {
        for (const auto& path : Brimwork::Samples::WriteSampleContainers(argv[1]))
            std::cout << path.string() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "brimwork-samples: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
