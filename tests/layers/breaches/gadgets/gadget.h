// A folder that has no line in the table.
#pragma once
