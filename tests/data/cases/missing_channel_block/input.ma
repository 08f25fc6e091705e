//Maya ASCII 4.0 scene
requires maya "4.0";
playbackOptions -min 0 -max 1 -animationStartTime 0;
createNode resolution -n "TrackerResolution";
	setAttr ".w" 720;
	setAttr ".h" 576;
	setAttr ".dar" 1.33333;
createNode transform -n "VoodooCam";
	setAttr ".t" -type "double3" 0 0 0 ;
//Tracker export -fps 25
