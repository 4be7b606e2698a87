#include "app/registry.hpp"
