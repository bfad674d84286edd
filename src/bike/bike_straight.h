// Straight riding: the speed at or below which a stoppie shifts the weight back.
#pragma once

constexpr float kStoppieWeightBackSpeed = 2.31481f;
