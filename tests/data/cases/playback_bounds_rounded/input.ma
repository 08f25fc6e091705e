//Maya ASCII 4.0 scene
requires maya "4.0";
playbackOptions -min 0.5  -max 2.5 -animationStartTime 0.5 ;
createNode resolution -n "TrackerResolution";
	setAttr ".w" 720;
	setAttr ".h" 576;
	setAttr ".dar" 1.33333;
createNode transform -n "VoodooCam";
	setAttr ".t" -type "double3" 0 0 0 ;
createNode animCurveTL -n "VoodooCam_translateX";
	setAttr -s 3 ".ktv[0:2]" 0 1 1 2 2 3 ;
createNode animCurveTL -n "VoodooCam_translateY";
	setAttr -s 3 ".ktv[0:2]" 0 1 1 2 2 3 ;
createNode animCurveTL -n "VoodooCam_translateZ";
	setAttr -s 3 ".ktv[0:2]" 0 1 1 2 2 3 ;
createNode animCurveTA -n "VoodooCam_rotateX";
	setAttr -s 3 ".ktv[0:2]" 0 1 1 2 2 3 ;
createNode animCurveTA -n "VoodooCam_rotateY";
	setAttr -s 3 ".ktv[0:2]" 0 1 1 2 2 3 ;
createNode animCurveTA -n "VoodooCam_rotateZ";
	setAttr -s 3 ".ktv[0:2]" 0 1 1 2 2 3 ;
//Tracker export -fps 25
