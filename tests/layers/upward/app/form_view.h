// The folder above drives/, included from below.
#pragma once
