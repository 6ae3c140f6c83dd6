#include "image/kova_img.h"
