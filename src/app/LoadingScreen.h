// One frame of the flickering "loading" picture, drawn between slow start-up steps.
#pragma once

void loadingStep();
