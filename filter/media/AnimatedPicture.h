// (Placeholder.)
#pragma once
