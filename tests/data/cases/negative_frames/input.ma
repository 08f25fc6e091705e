//Maya ASCII 4.0 scene
requires maya "4.0";
playbackOptions -min -2 -max 1 -animationStartTime -2;
createNode resolution -n "TrackerResolution";
	setAttr ".w" 720;
	setAttr ".h" 576;
	setAttr ".dar" 1.33333;
createNode transform -n "VoodooCam";
	setAttr ".t" -type "double3" 0 0 0 ;
createNode animCurveTL -n "VoodooCam_translateX";
	setAttr -s 4 ".ktv[0:3]" -2 1 -1 2 0 3 1 4 ;
createNode animCurveTL -n "VoodooCam_translateY";
	setAttr -s 4 ".ktv[0:3]" -2 1 -1 2 0 3 1 4 ;
createNode animCurveTL -n "VoodooCam_translateZ";
	setAttr -s 4 ".ktv[0:3]" -2 1 -1 2 0 3 1 4 ;
createNode animCurveTA -n "VoodooCam_rotateX";
	setAttr -s 4 ".ktv[0:3]" -2 1 -1 2 0 3 1 4 ;
createNode animCurveTA -n "VoodooCam_rotateY";
	setAttr -s 4 ".ktv[0:3]" -2 1 -1 2 0 3 1 4 ;
createNode animCurveTA -n "VoodooCam_rotateZ";
	setAttr -s 4 ".ktv[0:3]" -2 1 -1 2 0 3 1 4 ;
//Tracker export -fps 25
