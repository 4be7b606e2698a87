#include "app/settings_store.hpp"
