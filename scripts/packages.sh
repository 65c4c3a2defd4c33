# Package lists shared by run.sh and test.sh.
BUILD_PACKAGES=(build-essential cmake pkg-config ccache juce-modules-source juce-tools
                libtag1-dev libjack-jackd2-dev libasound2-dev libfreetype-dev libx11-dev
                libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev zlib1g-dev libpng-dev libjpeg-dev
                fonts-crosextra-carlito fonts-dejavu-core)
TEST_PACKAGES=(libgtest-dev xvfb xauth jackd2 xdotool x11-apps imagemagick clang clang-format libclang-rt-dev llvm)
